#include "run/repair_mode.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/patch_options.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/registry.h"
#include "repair/agent_client.h"
#include "run/patch_messaging.h"
#include "run/patch_view.h"
#include "run/patching_flag.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

constexpr int REPAIR_GAUGE_RANGE = 1000;
// The watch loop refreshes texts and gauge once a second; it looks at the
// client and the cancel request more often, so that the end of a run is
// reported at once.
constexpr auto REPAIR_POLL_INTERVAL = std::chrono::milliseconds(1000);
constexpr auto REPAIR_POLL_SLICE = std::chrono::milliseconds(20);

constexpr const char* REPAIR_CHECKSUM_FILE = "repair.cks";
constexpr const char* REPAIR_UNINSTALLER = "unins000.exe";

// The text posted when the displayed stage leaves stage `stage`; null for
// the stages that have none.
const char* StageText(int stage) {
  switch (stage) {
    case REPAIR_STAGE_STARTED:
      return "Scanning installed files. This may take a while.";
    case REPAIR_STAGE_SCANNING:
      return "Connecting to patch servers.";
    case REPAIR_STAGE_CONNECTING:
      return "Preparing download list.";
    case REPAIR_STAGE_LISTING:
      return "Receiving updated files.";
    default:
      return nullptr;
  }
}

// The failure text for a run that ended in `stage`.
const char* FailureText(int stage) {
  switch (stage) {
    case REPAIR_STAGE_SCANNING:
      return "Error while scanning local files.";
    case REPAIR_STAGE_CONNECTING:
    case REPAIR_STAGE_LISTING:
      return "Unable to connect to patch servers.";
    case REPAIR_STAGE_RECEIVING:
      return "Error occurred while repairing files.";
    default:
      return "Internal error occurred.";
  }
}

// Moves *displayed up to the client's stage, posting the text of every
// stage passed on the way, in order.
void AdvanceDisplayedStage(const BramAgentClient& client, int* displayed) {
  const int stage = client.GetStage();
  while (*displayed < stage) {
    if (const char* text = StageText(*displayed)) PostText(TEXT_KIND_NORMAL, text);
    ++*displayed;
  }
}

// Sleeps one poll interval, or less once the client has stopped or the user
// has cancelled.
void WaitOnePoll(const BramAgentClient& client) {
  const auto end = std::chrono::steady_clock::now() + REPAIR_POLL_INTERVAL;
  while (client.IsRunning() && !CancelRequestedByUser() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(REPAIR_POLL_SLICE);
  }
}

std::string Formatted(const char* format, long long a, long long b) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

bool ReadRepairServerName(RepairServerName* name, std::string* error) {
  *name = RepairServerName();
  std::string setting;
  if (!ReadMachineString(REPAIR_SERVER_REGISTRY_KEY, REPAIR_SERVER_REGISTRY_VALUE, &setting)) {
    return true;
  }
  if (ParseRepairServerSetting(setting, name)) return true;
  *error = std::string("The repair server setting \"") + setting +
           "\" is neither a host name nor host:port.";
  return false;
}

bool RunRepairMode(const PatchOptions& options) {
  RepairServerName name;
  std::string settingError;
  if (!ReadRepairServerName(&name, &settingError)) {
    PostText(TEXT_KIND_ERROR, settingError);
    return false;
  }
  BramSocketAddress server;
  if (!ResolveRepairServer(name, &server)) {
    LogPrintf("RunRepairMode> %s has no IPv4 address", name.host.c_str());
    PostText(TEXT_KIND_ERROR, "Unable to contact repair server; check your network connection.");
    return false;
  }

  std::string root = options.GetInstallPath();
  NormalizeSeparators(root);
  bool result = false;
  {
    // The setters' results need no check: a refused root or checksum file
    // leaves it empty, and the worker then fails in stage 1 with error 5.
    BramAgentClient client;
    client.SetRootDirectory(root);
    client.SetChecksumFile(JoinPath(root, REPAIR_CHECKSUM_FILE));
    client.SetServerAddress(server);
    client.SetExclusions({JoinPath(root, REPAIR_UNINSTALLER)});
    client.Start();

    int displayed = REPAIR_STAGE_CONFIGURED;
    if (PatchView* view = GetCurrentView()) {
      view->SetGaugeRange(REPAIR_GAUGE_RANGE);
      // The gauge is the repair run's from now on, not the download display's.
      view->SetDownloadDisplayFinished(true);
    }
    while (client.IsRunning() && !CancelRequestedByUser()) {
      AdvanceDisplayedStage(client, &displayed);
      const float progress = client.GetRepairProgress();
      if (displayed > REPAIR_STAGE_LISTING) {
        if (PatchView* view = GetCurrentView()) {
          view->SetGaugeValue(static_cast<int>(progress * REPAIR_GAUGE_RANGE));
        }
      }
      WaitOnePoll(client);
    }

    AdvanceDisplayedStage(client, &displayed);
    if (displayed > REPAIR_STAGE_LISTING) {
      PostText(TEXT_KIND_NORMAL, Formatted("(%lld / %lld segments updated.)",
                                           client.GetReceivedCount(), client.GetTotalCount()));
    }
    if (client.Succeeded()) {
      ClearPatchingFlag();  // a mark left by an interrupted patch goes too
      if (PatchView* view = GetCurrentView()) view->SetGaugeValue(REPAIR_GAUGE_RANGE);
      result = true;
    } else if (!CancelRequestedByUser()) {
      PostText(TEXT_KIND_ERROR, FailureText(client.GetStage()));
      PostText(TEXT_KIND_NORMAL,
               Formatted("(Error %lld in stage %lld)", client.GetError(), client.GetStage()));
    }
    // The client's destructor cancels a worker still running, closes its
    // connection and waits for it.
  }
  return result;
}

}  // namespace BramPatch

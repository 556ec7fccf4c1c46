#include "run/startup.h"

#include <atomic>

#include "engine/patch_callbacks.h"
#include "engine/patch_options.h"
#include "foundation/crash_handlers.h"
#include "platform/process_directory.h"
#include "repair/cp_socket_manager.h"
#include "run/environment_checks.h"
#include "run/install_locator.h"
#include "run/local_mode.h"
#include "run/patch_messaging.h"
#include "run/patch_view.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

// Whether RunStartup holds the process's reference on the socket manager.
std::atomic<bool> g_holdsSocketManager{false};

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

StartupResult RunStartup(std::vector<std::string> args, StartupFrontEnd& frontEnd) {
  StartupResult result;
  InstallCrashHandlers();
  // After the handlers, so that the manager's worker thread starts with them.
  if (!g_holdsSocketManager.exchange(true)) AcquireSocketManager(1);
  NameStartupDump("patcher");

  DropGluedQuotes(args);
  PatchOptions& options = PatchOptions::Get();
  ParseCommandLine(args, result.settings, options, PostText);
  if (options.GetInstallPath().empty()) {
    options.SetInstallPath(FindInstallPath("KestroSimulator", "Kestro"));
  }

  // The program's own file, not args[0]: a program started through PATH has
  // only its name there.
  const std::string executable = OS::GetExecutablePath();
  const std::string directory = DirectoryOf(executable);
  if (!directory.empty()) OS::SetWorkingDirectory(directory);

  if (result.settings.adminGiven) {
    if (!CheckWriteAccess(options.GetInstallPath())) {
      frontEnd.ShowStartupMessage(LoadMessage(MSG_INSUFFICIENT_PRIVILEGES),
                                  LoadMessage(MSG_REQUIRES_ADMIN_PRIVILEGES));
      return result;
    }
  } else if (!CheckWriteAccess(options.GetInstallPath()) &&
             frontEnd.RelaunchElevated(result.settings, args)) {
    return result;
  }

  PatchView& view = frontEnd.CreateView();
  SetPatchCallbacks(nullptr, KeepGoing, PostText);
  DetectLocalPackage(executable, true, options, GetLocalPackage());
  view.ShowInstallPath(options.GetInstallPath());

  if (options.IsDownload() || options.IsRepair()) {
    result.outcome = StartupOutcome::START_RUN;
  } else if (options.IsLocal()) {
    result.outcome = StartupOutcome::WAIT_FOR_USER;
  } else {
    view.EnableApplyUpdate(false);
    PostText(TEXT_KIND_ERROR, NO_PATCH_OPERATION_TEXT);
    result.outcome = StartupOutcome::NOTHING_TO_DO;
  }
  return result;
}

void FinishStartup() {
  if (g_holdsSocketManager.exchange(false)) ReleaseSocketManager();
  FinishCrashHandlers();
}

}  // namespace BramPatch

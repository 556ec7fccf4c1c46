#include "run/asset_database_threads.h"

#include <thread>

#include "foundation/child_process.h"
#include "foundation/paths.h"
#include "run/patch_messaging.h"
#include "run/patch_view.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

void SetGauge(int range, int value) {
  if (PatchView* view = GetCurrentView()) {
    if (range >= 0) view->SetGaugeRange(range);
    view->SetGaugeValue(value);
  }
}

constexpr const char* UTILITY_LAUNCH_FAILED =
    "Failed to launch KestroUtil to repair the Kestro asset database.\n"
    "Please repair the database manually from Dravix.";

}  // namespace

std::uint32_t EstimateInstallMinutes(std::uint64_t archiveBytes) {
  const float mebibytes = static_cast<float>(archiveBytes) / 1024 / 1024;
  return static_cast<std::uint32_t>(mebibytes * 2);
}

int KADHackProgressThread::GuardedEntry() {
  const std::uint64_t half = static_cast<std::uint64_t>(m_minutes) * 60000;
  SetGauge(static_cast<int>(half * 2), 0);
  for (std::uint64_t t = 0; t < half && m_running; t += 500) {
    SetGauge(-1, static_cast<int>(t));
    std::this_thread::sleep_for(m_period);
  }
  SetGauge(-1, static_cast<int>(half));
  return 0;
}

int KADRepairProgressThread::GuardedEntry() {
  SetGauge(1201000, 600000);
  for (int t = 0; t <= 599999 && m_running; t += 500) {
    SetGauge(-1, 600500 + t);
    std::this_thread::sleep_for(m_period);
  }
  SetGauge(1, 1);
  return 0;
}

void KADRepairThread::StopAndKill() {
  std::lock_guard lock(m_mutex);
  m_running = false;
  if (m_child != nullptr) KillChild(m_child);
}

int KADRepairThread::GuardedEntry() {
  std::string utility = JoinPath(m_installPath, "bin\\KestroUtil.exe");
  NormalizeSeparators(utility);
  ChildProcess* child = nullptr;
  {
    // A stop that came before the start leaves the utility unstarted.
    std::lock_guard lock(m_mutex);
    if (m_running) child = StartChildProcess(utility, "repairdatabase patcher");
    if (child == nullptr) {
      if (m_running) PostText(TEXT_KIND_ERROR, UTILITY_LAUNCH_FAILED);
      return 0;
    }
    m_child = child;
  }

  bool outputOpen = true;
  bool errorsOpen = true;
  std::string text;
  while (outputOpen || errorsOpen) {
    if (outputOpen) {
      text.clear();
      outputOpen = ReadChildOutput(child, text);
      if (!text.empty()) PostText(TEXT_KIND_NORMAL, text);
    }
    if (errorsOpen) {
      text.clear();
      errorsOpen = ReadChildErrors(child, text);
      if (!text.empty()) PostText(TEXT_KIND_SECONDARY, text);
    }
  }
  WaitChild(child, CHILD_WAIT_INFINITE);
  {
    std::lock_guard lock(m_mutex);
    m_child = nullptr;
  }
  CloseChild(child);
  delete child;
  return 0;
}

}  // namespace BramPatch

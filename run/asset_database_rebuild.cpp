#include "run/asset_database_rebuild.h"

#include <memory>
#include <thread>

#include "run/asset_database_threads.h"
#include "run/patch_messaging.h"
#include "run/patch_view.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

// Creates and runs a joinable thread; null when that fails.
template <typename T>
std::unique_ptr<T> StartThread(std::unique_ptr<T> thread) {
  if (thread->Create() != wxTHREAD_NO_ERROR || thread->Run() != wxTHREAD_NO_ERROR) return nullptr;
  return thread;
}

}  // namespace

void RebuildAssetDatabase(const std::string& installPath,
                          const std::function<void()>& releaseDatabase,
                          const RebuildTimings& timings) {
  if (releaseDatabase) releaseDatabase();
  PostText(TEXT_KIND_NORMAL, "\nUpdating Kestro asset database... (this may take several minutes)");

  auto progress = StartThread(std::make_unique<KADRepairProgressThread>(timings.tickerPeriod));
  auto repair = StartThread(std::make_unique<KADRepairThread>(installPath));

  while (repair && repair->IsAlive()) {
    if (CancelRequestedByUser()) repair->StopAndKill();
    std::this_thread::sleep_for(timings.cancelPoll);
  }
  if (repair) {
    repair->StopAndKill();
    repair->Wait();
  }
  if (progress) {
    progress->Stop();
    progress->Wait();
  }
}

}  // namespace BramPatch

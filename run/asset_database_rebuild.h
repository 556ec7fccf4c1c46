// The last step of a patch run: hand the installation's asset database to the
// product's utility for a rebuild, show its output, keep the gauge moving.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace BramPatch {

struct RebuildTimings {
  std::chrono::milliseconds cancelPoll{1000};  // how often a cancel is looked for
  std::chrono::milliseconds tickerPeriod{500};
};

// Lets go of the asset database (releaseDatabase, which may be empty), posts
// the rebuild text, runs "bin/KestroUtil.exe repairdatabase patcher" of the
// installation and returns when it has ended. A cancel by the user ends the
// utility. Neither a failed nor a cancelled rebuild fails the run.
void RebuildAssetDatabase(const std::string& installPath,
                          const std::function<void()>& releaseDatabase,
                          const RebuildTimings& timings = {});

}  // namespace BramPatch

// The download figures of the patch window. While a patch archive
// downloads, the refresh tick shows its percent on the gauge and, when the
// size is known, the kilobytes and the time left on the status line
// (ComputeDownloadDisplay of online/download_progress.h, the same figures
// the console shows).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "online/download_progress.h"

namespace BramPatch {

class PatchThread;

// Samples a worker's download progress; called on the main thread at each
// refresh tick while a run is busy. REQUIRES: safe towards the worker (it
// takes the worker's progress lock, as GetDownloadTask().GetProgress() does).
using DownloadProgressSource = std::function<DownloadProgress(PatchThread& worker)>;

// The worker's own progress block.
DownloadProgress SampleWorkerDownload(PatchThread& worker);

// What one refresh tick changes; unset fields stay as they are.
struct DownloadDisplayUpdate {
  std::optional<int> gaugeRange;
  std::optional<int> gaugeValue;
  std::optional<std::string> status;
};

// The download display of one window. Main thread only.
class WindowDownloadDisplay {
 public:
  // One tick while a run is busy. Only a running download is shown: when it
  // begins it takes the gauge (range 100) and then shows its percent and
  // figures. When it reaches 100 % (the display is finished) or stops, the
  // status line is emptied and the gauge is left to the run. A finished
  // display stays silent until the next download begins.
  DownloadDisplayUpdate Refresh(const DownloadProgress& progress, DownloadClock::time_point now);

  // Set by a run that owns the gauge itself (the repair run): no figures are
  // shown until the next download begins.
  void SetFinished(bool finished) { m_finished = finished; }
  bool IsFinished() const { return m_finished; }

 private:
  bool m_finished = false;
  bool m_showing = false;                 // the last tick showed a running download
  DownloadClock::time_point m_started{};  // the start of the download shown
};

}  // namespace BramPatch

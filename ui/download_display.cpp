#include "ui/download_display.h"

#include "run/patch_thread.h"

namespace BramPatch {
namespace {

constexpr int DOWNLOAD_GAUGE_RANGE = 100;

}  // namespace

DownloadProgress SampleWorkerDownload(PatchThread& worker) {
  return worker.GetDownloadTask().GetProgress();
}

DownloadDisplayUpdate WindowDownloadDisplay::Refresh(const DownloadProgress& progress,
                                                     DownloadClock::time_point now) {
  DownloadDisplayUpdate update;
  if (progress.m_state != DOWNLOAD_STATE_DOWNLOADING) {
    if (m_showing && !m_finished) update.status = std::string();
    m_showing = false;
    return update;
  }
  if (!m_showing || progress.m_started != m_started) {
    m_showing = true;
    m_started = progress.m_started;
    m_finished = false;
    update.gaugeRange = DOWNLOAD_GAUGE_RANGE;
  }
  if (m_finished) return update;

  const DownloadDisplay display =
      ComputeDownloadDisplay(progress, DownloadSecondsElapsed(progress, now));
  update.gaugeValue = static_cast<int>(display.m_gauge);
  if (display.m_set_status) update.status = display.m_status;
  if (display.m_finished) m_finished = true;
  return update;
}

}  // namespace BramPatch

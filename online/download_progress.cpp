#include "online/download_progress.h"

#include <algorithm>

#include "text/message_format.h"
#include "text/message_ids.h"
#include "text/messages.h"

namespace BramPatch {
namespace {

// Remaining times beyond this are shown as this (about 1900 years): keeps
// the conversion from double defined however slow the transfer is.
constexpr double DOWNLOAD_MINUTES_MAX = 1e9;

// From this many minutes on the remaining time is shown in hours and minutes.
constexpr std::uint64_t DOWNLOAD_MINUTES_IN_HOURS_FROM = 61;

std::uint32_t Kilobytes(std::uint64_t bytes) { return static_cast<std::uint32_t>(bytes / 1024); }

}  // namespace

double DownloadSecondsElapsed(const DownloadProgress& progress, DownloadClock::time_point now) {
  if (progress.m_started == DownloadClock::time_point{} || now <= progress.m_started) return 0;
  return std::chrono::duration<double>(now - progress.m_started).count();
}

std::uint64_t RemainingDownloadMinutes(std::uint32_t left_kb, std::uint32_t rate_kb,
                                       double elapsed_seconds) {
  if (!(elapsed_seconds > 0) || rate_kb == 0) return 0;
  const double minutes = left_kb / (rate_kb / elapsed_seconds) / 60;
  return static_cast<std::uint64_t>(std::min(minutes, DOWNLOAD_MINUTES_MAX));
}

DownloadDisplay ComputeDownloadDisplay(const DownloadProgress& progress, double elapsed_seconds) {
  DownloadDisplay display;
  display.m_gauge = std::min<std::uint32_t>(progress.m_percent, 100);
  if (progress.m_bytes_total == 0) return display;

  const std::uint32_t done_kb = Kilobytes(progress.m_bytes_done);
  const std::uint32_t total_kb = Kilobytes(progress.m_bytes_total);
  const std::uint32_t resumed_kb = Kilobytes(progress.m_bytes_resumed);
  // More than announced: nothing is left to wait for.
  const std::uint32_t left_kb = total_kb > done_kb ? total_kb - done_kb : 0;
  const std::uint32_t rate_kb = done_kb > resumed_kb ? done_kb - resumed_kb : 0;
  const std::uint64_t minutes = RemainingDownloadMinutes(left_kb, rate_kb, elapsed_seconds);

  display.m_set_status = true;
  if (minutes < DOWNLOAD_MINUTES_IN_HOURS_FROM) {
    display.m_status = FormatMessageText(LoadMessage(MSG_DOWNLOAD_PROGRESS_MINUTES),
                                         {std::to_string(done_kb), std::to_string(total_kb),
                                          std::to_string(std::max<std::uint64_t>(minutes, 1))});
  } else {
    display.m_status =
        FormatMessageText(LoadMessage(MSG_DOWNLOAD_PROGRESS_HOURS),
                          {std::to_string(done_kb), std::to_string(total_kb),
                           std::to_string(minutes / 60), std::to_string(minutes % 60)});
  }
  if (progress.m_percent >= 100) {
    display.m_status.clear();
    display.m_finished = true;
  }
  return display;
}

}  // namespace BramPatch

// The download progress of the patch download loop as the window and the
// console show it: a snapshot taken from the loop's task, and the gauge and
// status text computed from it. The computation is a pure function, so the
// window's refresh tick and the console's progress line show the same.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace BramPatch {

// States of the download progress block.
constexpr int DOWNLOAD_STATE_IDLE = 0;
constexpr int DOWNLOAD_STATE_DOWNLOADING = 1;
constexpr int DOWNLOAD_STATE_APPLYING = 3;  // the downloaded archive is being installed

using DownloadClock = std::chrono::steady_clock;

// One consistent sample of the progress block (PatchDownloadTask::GetProgress).
struct DownloadProgress {
  int m_state = DOWNLOAD_STATE_IDLE;
  std::uint64_t m_bytes_done = 0;   // bytes in the archive file so far
  std::uint64_t m_bytes_total = 0;  // the announced size; 0 when unknown
  // m_bytes_done * 100 / m_bytes_total, truncated; 0 when the total is unknown.
  // May pass 100 when more arrived than was announced.
  std::uint32_t m_percent = 0;
  // Bytes that were in the file before this download wrote its first byte
  // (a resumed FTP download); they do not count towards the rate.
  std::uint64_t m_bytes_resumed = 0;
  // When the current (or last) download began; the epoch before any.
  DownloadClock::time_point m_started{};
};

// What a refresh shows.
struct DownloadDisplay {
  std::uint32_t m_gauge = 0;  // gauge value of a range of 100: the percent, at most 100
  bool m_set_status = false;  // false: the status text stays as it is
  std::string m_status;       // the new status text when m_set_status
  bool m_finished = false;    // the download figures are final: set the finished flag
};

// Seconds from the snapshot's download start to `now`; 0 before any download.
double DownloadSecondsElapsed(const DownloadProgress& progress, DownloadClock::time_point now);

// Remaining minutes at `rate_kb` kB gone in `elapsed_seconds` with `left_kb`
// still to come: left / (rate / elapsed) / 60, truncated; 0 while there is
// no rate yet (nothing gone or no time passed).
std::uint64_t RemainingDownloadMinutes(std::uint32_t left_kb, std::uint32_t rate_kb,
                                       double elapsed_seconds);

// The display for one refresh, `elapsed_seconds` after the download began.
// Without a known total only the gauge is set (to 0). Otherwise the status
// is message 175 ("... %lu min remaining", a remaining time of 0 shown as 1)
// up to 60 minutes and message 174 ("... %lu hr %lu min remaining") from 61
// on, with the kilobytes done and in all (bytes / 1024, truncated). From 100
// percent on the status is emptied and the display finished. Messages are
// looked up in the current message language.
DownloadDisplay ComputeDownloadDisplay(const DownloadProgress& progress, double elapsed_seconds);

}  // namespace BramPatch

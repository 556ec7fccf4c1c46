#include "online/download_progress.h"

#include <gtest/gtest.h>

#include "text/messages.h"

namespace BramPatch {
namespace {

constexpr std::uint64_t KB = 1024;

struct DisplayCase {
  const char* name;
  std::uint64_t done_kb;
  std::uint64_t total_kb;
  std::uint64_t resumed_kb;
  double elapsed;
  bool set_status;
  const char* status;
  std::uint32_t gauge;
  bool finished;
};

DownloadProgress Snapshot(std::uint64_t done, std::uint64_t total, std::uint64_t resumed) {
  DownloadProgress progress;
  progress.m_state = DOWNLOAD_STATE_DOWNLOADING;
  progress.m_bytes_done = done;
  progress.m_bytes_total = total;
  progress.m_bytes_resumed = resumed;
  progress.m_percent = total == 0 ? 0 : static_cast<std::uint32_t>(done * 100 / total);
  return progress;
}

TEST(DownloadDisplay, RemainingTimeTexts) {
  SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
  const DisplayCase cases[] = {
      {"30 of 3030 after 60 s: 100 minutes in hours", 30, 3030, 0, 60, true,
       "Download Progress 30 kB of 3030 kB, 1 hr 40 min remaining", 0, false},
      {"2970 of 3030 after 60 s: 0 minutes shown as 1", 2970, 3030, 0, 60, true,
       "Download Progress 2970 kB of 3030 kB, 1 min remaining", 98, false},
      {"exactly 60 minutes stays in minutes", 60, 3660, 0, 60, true,
       "Download Progress 60 kB of 3660 kB, 60 min remaining", 1, false},
      {"61 minutes goes to hours", 60, 3720, 0, 60, true,
       "Download Progress 60 kB of 3720 kB, 1 hr 1 min remaining", 1, false},
      {"no time yet: no rate", 100, 3000, 0, 0, true,
       "Download Progress 100 kB of 3000 kB, 1 min remaining", 3, false},
      {"nothing yet: no rate", 0, 3000, 0, 30, true,
       "Download Progress 0 kB of 3000 kB, 1 min remaining", 0, false},
      {"resumed bytes do not count towards the rate", 1100, 3000, 1000, 100, true,
       "Download Progress 1100 kB of 3000 kB, 31 min remaining", 36, false},
      {"nothing new since the resume: no rate", 1000, 3000, 1000, 100, true,
       "Download Progress 1000 kB of 3000 kB, 1 min remaining", 33, false},
      {"very slow: many hours", 1, 10001, 0, 60, true,
       "Download Progress 1 kB of 10001 kB, 166 hr 40 min remaining", 0, false},
      {"unknown size: the status stays", 500, 0, 0, 60, false, "", 0, false},
      {"complete: status emptied, display finished", 3030, 3030, 0, 60, true, "", 100, true},
      {"more than announced: gauge full, finished", 3636, 3030, 0, 60, true, "", 100, true},
  };
  for (const DisplayCase& c : cases) {
    SCOPED_TRACE(c.name);
    const DownloadDisplay display = ComputeDownloadDisplay(
        Snapshot(c.done_kb * KB, c.total_kb * KB, c.resumed_kb * KB), c.elapsed);
    EXPECT_EQ(display.m_set_status, c.set_status);
    EXPECT_EQ(display.m_status, c.status);
    EXPECT_EQ(display.m_gauge, c.gauge);
    EXPECT_EQ(display.m_finished, c.finished);
  }
}

TEST(DownloadDisplay, KilobytesAreTruncated) {
  SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
  const DownloadDisplay display = ComputeDownloadDisplay(Snapshot(2047, 10 * KB - 1, 0), 0);
  EXPECT_EQ(display.m_status, "Download Progress 1 kB of 9 kB, 1 min remaining");
}

TEST(DownloadDisplay, ElapsedCountsFromTheDownloadsStart) {
  DownloadProgress progress;
  const DownloadClock::time_point start = DownloadClock::time_point{} + std::chrono::hours(5);
  EXPECT_EQ(DownloadSecondsElapsed(progress, start), 0) << "no download yet";
  progress.m_started = start;
  EXPECT_EQ(DownloadSecondsElapsed(progress, start + std::chrono::milliseconds(60500)), 60.5);
  EXPECT_EQ(DownloadSecondsElapsed(progress, start - std::chrono::seconds(1)), 0);
}

}  // namespace
}  // namespace BramPatch

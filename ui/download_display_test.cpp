// The window's download figures over a sequence of sampled progress blocks.
#include "ui/download_display.h"

#include <gtest/gtest.h>

#include "text/messages.h"

namespace BramPatch {
namespace {

using std::chrono::seconds;

constexpr std::uint64_t KB = 1024;

DownloadProgress Downloading(std::uint64_t doneKB, std::uint64_t totalKB,
                             DownloadClock::time_point started) {
  DownloadProgress progress;
  progress.m_state = DOWNLOAD_STATE_DOWNLOADING;
  progress.m_bytes_done = doneKB * KB;
  progress.m_bytes_total = totalKB * KB;
  progress.m_percent = totalKB == 0 ? 0 : static_cast<std::uint32_t>(doneKB * 100 / totalKB);
  progress.m_started = started;
  return progress;
}

class WindowDownloadDisplayTest : public testing::Test {
 protected:
  void SetUp() override { SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH); }
  const DownloadClock::time_point m_start = DownloadClock::now();
  WindowDownloadDisplay m_display;
};

TEST_F(WindowDownloadDisplayTest, ShowsARunningDownloadUntilItIsComplete) {
  // The first sample takes the gauge; the time left counts from the start.
  DownloadDisplayUpdate update =
      m_display.Refresh(Downloading(30, 3030, m_start), m_start + seconds(60));
  EXPECT_EQ(update.gaugeRange, 100);
  EXPECT_EQ(update.gaugeValue, 0);
  EXPECT_EQ(update.status, "Download Progress 30 kB of 3030 kB, 1 hr 40 min remaining");

  update = m_display.Refresh(Downloading(2970, 3030, m_start), m_start + seconds(60));
  EXPECT_FALSE(update.gaugeRange);
  EXPECT_EQ(update.gaugeValue, 98);
  EXPECT_EQ(update.status, "Download Progress 2970 kB of 3030 kB, 1 min remaining");

  update = m_display.Refresh(Downloading(3030, 3030, m_start), m_start + seconds(61));
  EXPECT_EQ(update.gaugeValue, 100);
  EXPECT_EQ(update.status, "");
  EXPECT_TRUE(m_display.IsFinished());

  // Finished: the gauge and the status line belong to the run again.
  update = m_display.Refresh(Downloading(3030, 3030, m_start), m_start + seconds(62));
  EXPECT_FALSE(update.gaugeValue);
  EXPECT_FALSE(update.status);
}

TEST_F(WindowDownloadDisplayTest, UnknownSizeMovesOnlyTheGauge) {
  const DownloadDisplayUpdate update =
      m_display.Refresh(Downloading(500, 0, m_start), m_start + seconds(5));
  EXPECT_EQ(update.gaugeValue, 0);
  EXPECT_FALSE(update.status);
}

TEST_F(WindowDownloadDisplayTest, EndedDownloadEmptiesTheStatusAndLeavesTheGauge) {
  m_display.Refresh(Downloading(100, 3030, m_start), m_start + seconds(5));
  DownloadProgress applying = Downloading(2000, 3030, m_start);
  applying.m_state = DOWNLOAD_STATE_APPLYING;
  DownloadDisplayUpdate update = m_display.Refresh(applying, m_start + seconds(6));
  EXPECT_EQ(update.status, "");
  EXPECT_FALSE(update.gaugeValue);
  EXPECT_FALSE(update.gaugeRange);
  // Nothing more while no download runs.
  update = m_display.Refresh(applying, m_start + seconds(7));
  EXPECT_FALSE(update.status);
  EXPECT_FALSE(update.gaugeValue);
}

TEST_F(WindowDownloadDisplayTest, NextDownloadIsShownAfresh) {
  m_display.Refresh(Downloading(3030, 3030, m_start), m_start + seconds(5));
  ASSERT_TRUE(m_display.IsFinished());
  // The next patch's download, begun later; its own start times it.
  const DownloadClock::time_point next = m_start + seconds(600);
  const DownloadDisplayUpdate update =
      m_display.Refresh(Downloading(30, 3030, next), next + seconds(60));
  EXPECT_FALSE(m_display.IsFinished());
  EXPECT_EQ(update.gaugeRange, 100);
  EXPECT_EQ(update.status, "Download Progress 30 kB of 3030 kB, 1 hr 40 min remaining");
}

TEST_F(WindowDownloadDisplayTest, RunThatOwnsTheGaugeSilencesTheDisplay) {
  m_display.Refresh(Downloading(10, 3030, m_start), m_start + seconds(5));
  m_display.SetFinished(true);
  const DownloadDisplayUpdate update =
      m_display.Refresh(Downloading(20, 3030, m_start), m_start + seconds(6));
  EXPECT_FALSE(update.gaugeValue);
  EXPECT_FALSE(update.status);
}

}  // namespace
}  // namespace BramPatch

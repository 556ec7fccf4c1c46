#include "run/asset_database_rebuild.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run/asset_database_threads.h"
#include "run/run_test_support.h"

namespace BramPatch {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

const std::string REBUILD_TEXT =
    "\nUpdating Kestro asset database... (this may take several minutes)";

class Installation {
 public:
  Installation() {
    std::string pattern = (fs::temp_directory_path() / "omvel-rebuild-XXXXXX").string();
    m_root = mkdtemp(pattern.data());
    fs::create_directories(m_root + "/bin");
  }
  ~Installation() { fs::remove_all(m_root); }
  const std::string& root() const { return m_root; }

  void WriteUtility(const std::string& script) {
    std::string path = m_root + "/bin/KestroUtil.exe";
    std::ofstream(path) << "#!/bin/sh\n" << script;
    fs::permissions(path, fs::perms::owner_all);
  }

 private:
  std::string m_root;
};

TEST(EstimateInstallMinutes, TwiceTheMebibytesTruncated) {
  EXPECT_EQ(EstimateInstallMinutes(1468006), 2u);  // 1.4 MiB
  EXPECT_EQ(EstimateInstallMinutes(512 * 1024 - 1), 0u);
  EXPECT_EQ(EstimateInstallMinutes(512 * 1024), 1u);
  EXPECT_EQ(EstimateInstallMinutes(0), 0u);
}

template <typename T>
void RunToEnd(T& thread) {
  ASSERT_EQ(thread.Create(), wxTHREAD_NO_ERROR);
  ASSERT_EQ(thread.Run(), wxTHREAD_NO_ERROR);
  thread.Wait();
}

TEST(AssetTickers, HackTickerEndsAtHalfOfItsRange) {
  RecordingView view;
  KADHackProgressThread two(2, milliseconds(0));
  RunToEnd(two);
  EXPECT_EQ(view.gaugeRange, 240000);
  EXPECT_EQ(view.gaugeValue, 120000);

  KADHackProgressThread none(0, milliseconds(0));
  RunToEnd(none);
  EXPECT_EQ(view.gaugeRange, 0);
  EXPECT_EQ(view.gaugeValue, 0);
}

TEST(AssetTickers, StoppedTickersFinishAtOnce) {
  RecordingView view;
  KADHackProgressThread hack(60, milliseconds(1));  // would tick for an hour of periods
  hack.Stop();
  RunToEnd(hack);
  EXPECT_EQ(view.gaugeValue, 60 * 60000);

  KADRepairProgressThread repair(milliseconds(1));
  repair.Stop();
  RunToEnd(repair);
  EXPECT_EQ(view.gaugeRange, 1);
  EXPECT_EQ(view.gaugeValue, 1);
}

const RebuildTimings FAST{milliseconds(20), milliseconds(1)};

TEST(RebuildAssetDatabase, PostsTheUtilitysOutput) {
  Installation install;
  install.WriteUtility(
      "[ \"$1 $2\" = 'repairdatabase patcher' ] || exit 3\n"
      "printf 'Rebuilding 50%%'\nsleep 0.2\nprintf 'Rebuilt 120 assets'\n");
  RecordingView view;
  bool released = false;
  RebuildAssetDatabase(
      install.root(), [&] { released = true; }, FAST);
  EXPECT_TRUE(released);
  EXPECT_EQ(view.Texts(),
            (std::vector<std::string>{REBUILD_TEXT, "Rebuilding 50%", "Rebuilt 120 assets"}));
  EXPECT_EQ(view.gaugeRange, 1);  // the progress ticker filled the gauge
  EXPECT_EQ(view.gaugeValue, 1);
}

TEST(RebuildAssetDatabase, MissingUtilityIsReportedAndTheRebuildEnds) {
  Installation install;
  RecordingView view;
  RebuildAssetDatabase(install.root(), nullptr, FAST);
  ASSERT_EQ(view.texts.size(), 2u);
  EXPECT_EQ(view.texts[1].first, 2);
  EXPECT_EQ(view.texts[1].second,
            "Failed to launch KestroUtil to repair the Kestro asset database.\nPlease repair the "
            "database manually from Dravix.");
}

TEST(RebuildAssetDatabase, CancelEndsTheUtility) {
  Installation install;
  const std::string marker = install.root() + "/finished";
  // The utility prints, then would work for a minute before writing the marker.
  install.WriteUtility("printf 'started'\nexec /bin/sh -c 'sleep 60; touch " + marker + "'\n");
  RecordingView view;
  view.cancelRequested = true;
  RebuildAssetDatabase(install.root(), nullptr, FAST);
  EXPECT_FALSE(fs::exists(marker));
  const auto texts = view.Texts();
  EXPECT_EQ(texts.front(), REBUILD_TEXT);
}

}  // namespace
}  // namespace BramPatch

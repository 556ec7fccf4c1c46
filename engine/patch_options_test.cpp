#include "engine/patch_options.h"

#include <gtest/gtest.h>

namespace BramPatch {
namespace {

TEST(PatchOptions, LocalAndDownloadExcludeEachOther) {
  PatchOptions options;
  options.SetDownload(true);
  options.SetLocal(true);
  EXPECT_TRUE(options.IsLocal());
  EXPECT_FALSE(options.IsDownload());
  options.SetDownload(true);
  EXPECT_FALSE(options.IsLocal());
  // Clearing one leaves the other alone.
  options.SetLocal(false);
  EXPECT_TRUE(options.IsDownload());
  options.SetRepair(true);
  options.SetDownload(false);
  EXPECT_TRUE(options.IsRepair());
}

TEST(PatchOptions, CurrentVersionGetterConsumesFirstCandidate) {
  PatchOptions options;
  EXPECT_EQ(options.GetCurrentVersion(), "");  // an empty list leaves it empty
  options.AddCandidateBuild("100");
  options.AddCandidateBuild("101");
  EXPECT_EQ(options.GetCurrentVersion(), "100");
  EXPECT_EQ(options.GetCandidateBuilds(), std::deque<std::string>{"101"});
  // Only an empty current version consumes.
  EXPECT_EQ(options.GetCurrentVersion(), "100");
  EXPECT_EQ(options.GetCandidateBuilds().size(), 1u);
}

TEST(PatchOptions, PatchNameFollowsBothVersionsAndMayConsumeACandidate) {
  PatchOptions options;
  options.SetCurrentVersion("100");
  EXPECT_EQ(options.GetPatchName(), "100_to_");
  options.SetNextVersion("101");
  EXPECT_EQ(options.GetPatchName(), "100_to_101");

  options.AddCandidateBuild("200");
  options.SetCurrentVersion("");
  EXPECT_EQ(options.GetPatchName(), "200_to_101");
  EXPECT_TRUE(options.GetCandidateBuilds().empty());
  options.SetNextVersion("");
  EXPECT_EQ(options.GetPatchName(), "200_to_");
}

}  // namespace
}  // namespace BramPatch

// omvel-patchkit release, run as the real program over sample builds; the
// archives it writes are applied with the file patch engine.
#include "tools/patchkit_release.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "engine/archive_reader.h"
#include "engine/catalogue.h"
#include "engine/patch_engine.h"
#include "engine/patch_test_support.h"
#include "kit/data_buffer_file.h"

namespace BramPatch {
namespace {

namespace fs = std::filesystem;

const std::string PATCHKIT = std::string(OMVEL_BIN_DIR) + "/omvel-patchkit";

struct ToolRun {
  int m_exit = -1;
  std::string m_output;
};

ToolRun Patchkit(const std::vector<std::string>& args) {
  ToolRun run;
  run.m_exit = RunProgram(PATCHKIT, args, &run.m_output);
  return run;
}

class ReleaseTest : public ::testing::Test {
 protected:
  std::string Sub(const std::string& relative) const { return m_work.Sub(relative); }
  void MakeSample(const std::string& dir, const std::string& build) {
    const ToolRun run = Patchkit({"sample", dir, "--build", build});
    ASSERT_EQ(run.m_exit, 0) << run.m_output;
  }

  ScopedTempDir m_work;
};

TEST_F(ReleaseTest, ArchivesLeadFromBuildToBuildAndTheCatalogueListsThem) {
  for (const char* build : {"100", "101", "102"}) MakeSample(Sub(std::string("b/") + build), build);
  const ToolRun run =
      Patchkit({"release", Sub("b/100"), Sub("b/101/"), Sub("b/102"), "--out", Sub("out")});
  ASSERT_EQ(run.m_exit, 0) << run.m_output;
  EXPECT_NE(run.m_output.find(Sub("out/patches.txt") + ": 2 patches from 100 to 102\n"),
            std::string::npos)
      << run.m_output;

  PatchCatalogue catalogue;
  BramDataBufferFile file(Sub("out/patches.txt"), BRAMFILE_MODE_READ);
  ASSERT_TRUE(catalogue.ParseCatalogue(file, "ftp://mirror.example/kestro"));
  EXPECT_EQ(catalogue.GetEntries().size(), 2u);
  ASSERT_NE(catalogue.FindPatch("100"), nullptr);
  EXPECT_EQ(
      *catalogue.FindPatch("100"),
      (CatalogueEntry{"101", "100_to_101.exe", "ftp://mirror.example/kestro/100_to_101.zip"}));
  ASSERT_NE(catalogue.FindPatch("101"), nullptr);
  EXPECT_EQ(catalogue.FindPatch("101")->m_target_version, "102");

  // A sample of 100 patched with both archives in turn is the sample of 102,
  // but for the uninstaller log, which the patcher extends.
  fs::copy(Sub("b/100"), Sub("install"), fs::copy_options::recursive);
  for (const char* patch : {"100_to_101", "101_to_102"}) {
    SCOPED_TRACE(patch);
    const std::string unpacked = Sub(std::string("unpacked/") + patch);
    fs::create_directories(unpacked);
    std::string error;
    ASSERT_TRUE(UnpackArchive(Sub(std::string("out/") + patch + ".zip"), unpacked, &error))
        << error;
    ASSERT_TRUE(ApplyPatchDirectory(Sub("install"), unpacked, PATCH_LAST_FILE_NAME));
  }
  Tree installed = ReadTree(Sub("install"));
  Tree expected = ReadTree(Sub("b/102"));
  EXPECT_NE(installed.at("unins000.dat"), expected.at("unins000.dat"));
  installed.erase("unins000.dat");
  expected.erase("unins000.dat");
  EXPECT_TRUE(installed == expected) << "the patched installation differs from build 102";
}

TEST_F(ReleaseTest, RefusesWhatItCannotRelease) {
  WriteTree(Sub("b"), {{"100", TREE_DIRECTORY},
                       {"100/a.txt", "one"},
                       {"101", TREE_DIRECTORY},
                       {"101/a.txt", "two"},
                       {"again/100", TREE_DIRECTORY},
                       {"again/100/a.txt", "three"},
                       {"my build", TREE_DIRECTORY},
                       {"my build/a.txt", "four"},
                       {"linked/102", TREE_DIRECTORY},
                       {"linked/102/a.txt", "five"}});
  fs::create_symlink(Sub("b/100/a.txt"), Sub("b/linked/102/link.txt"));
  const struct {
    std::vector<std::string> builds;
    int exit;
    std::string error;
  } cases[] = {
      {{Sub("b/100")}, 2, "BUILD: At least 2 required"},
      {{Sub("b/100"), Sub("b/missing")}, 1, "not a folder: " + Sub("b/missing")},
      {{Sub("b/100"), Sub("b/my build")}, 1, "is not named after a build"},
      {{Sub("b/100"), Sub("b/101"), Sub("b/again/100")}, 1, "the build 100 is given twice"},
      {{Sub("b/101"), Sub("b/linked/102")}, 1, "101_to_102: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    std::vector<std::string> args{"release"};
    args.insert(args.end(), c.builds.begin(), c.builds.end());
    args.insert(args.end(), {"--out", Sub("out")});
    const ToolRun run = Patchkit(args);
    EXPECT_EQ(run.m_exit, c.exit);
    EXPECT_NE(run.m_output.find(c.error), std::string::npos) << run.m_output;
    EXPECT_FALSE(fs::exists(Sub("out/patches.txt")));
  }
}

TEST(ReleaseBuildName, IsTheFoldersNameWhenItCanBeABuild) {
  const struct {
    const char* tree;
    const char* build;
  } cases[] = {{"101", "101"},
               {"releases/101/", "101"},
               {"/srv/b/1.2-rc_3", "1.2-rc_3"},
               {"releases/a b", ""},
               {"releases/x:y", ""},
               {".", ""},
               {"releases/..", ""},
               {"/", ""},
               {"", ""},
               {"releases/\"101\"", ""}};
  for (const auto& c : cases) EXPECT_EQ(ReleaseBuildName(c.tree), c.build) << c.tree;
}

}  // namespace
}  // namespace BramPatch

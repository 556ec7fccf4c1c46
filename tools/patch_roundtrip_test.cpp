// From two builds to a patched installation, with the real programs:
// `omvel-patchkit make` writes the archive, `omvel-patchkit unpack` unpacks
// it, the engine applies it with the product's diff tools, and the
// installation then equals the new build, byte for byte.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "engine/patch_engine.h"
#include "engine/patch_test_support.h"
#include "text/fixed_texts.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

const std::string PATCHKIT = std::string(OMVEL_BIN_DIR) + "/omvel-patchkit";
constexpr int SAMPLE_FILES = 300;

std::string AssetPath(int k) {
  return "assets/set" + std::to_string(k % 7) + "/part" + std::to_string(k % 5) + "/file" +
         std::to_string(k) + ".dat";
}

std::string AssetBytes(int k) {
  // Every 50th file is large; text and random contents alternate.
  const std::size_t size = k % 50 == 0 ? (2u << 20) + 4096u * k : 1000u + 53u * k;
  return k % 2 == 0 ? RandomBytes(size, 1000 + k) : TextBytes(size, 1000 + k);
}

// Build 1, or build 2: every tenth file changed in place, every twentieth
// removed, new files (some in a new folder), the launcher and the archive
// changed, the product's tools unchanged.
Tree MakeBuild(int build) {
  Tree tree;
  for (const char* tool : {PATCH_DIFF_TOOL, PATCH_ARCHIVE_TOOL}) {
    tree[std::string("bin/") + tool] = ReadTextFile(std::string(OMVEL_BIN_DIR) + "/" + tool);
  }
  tree["bin/BramLauncher.exe"] = TextBytes(50000, 7) + "build " + std::to_string(build);
  tree["paks/Base.ja"] = RandomBytes(300000, 8);
  for (int k = 0; k < SAMPLE_FILES; ++k) tree[AssetPath(k)] = AssetBytes(k);
  if (build == 1) return tree;

  tree["paks/Base.ja"].replace(1000, 2000, RandomBytes(2500, 9));
  for (int k = 0; k < SAMPLE_FILES; ++k) {
    std::string& bytes = tree[AssetPath(k)];
    if (k % 10 == 3 || k == 100) bytes.replace(bytes.size() / 3, 100, RandomBytes(150, k));
    if (k % 20 == 7) tree.erase(AssetPath(k));
  }
  for (int k = 0; k < 15; ++k) {
    tree[(k < 5 ? "assets/new/extra" : "assets/set1/added") + std::to_string(k) + ".dat"] =
        TextBytes(3000 + k, 2000 + k);
  }
  return tree;
}

void WriteBuild(const std::string& root, const Tree& tree) {
  WriteTree(root, tree);
  for (const char* tool : {PATCH_DIFF_TOOL, PATCH_ARCHIVE_TOOL}) {
    ASSERT_EQ(chmod((root + "/bin/" + tool).c_str(), 0755), 0);
  }
}

TEST(PatchRoundTrip, TwoBuildsMakeAPatchThatTurnsOneIntoTheOther) {
  ScopedTempDir dir;
  const Tree old_build = MakeBuild(1);
  const Tree new_build = MakeBuild(2);
  WriteBuild(dir.Sub("old"), old_build);
  WriteBuild(dir.Sub("new"), new_build);

  std::string output;
  ASSERT_EQ(
      RunProgram(PATCHKIT, {"make", dir.Sub("old"), dir.Sub("new"), dir.Sub("patch.zip")}, &output),
      0)
      << output;
  ASSERT_EQ(RunProgram(PATCHKIT, {"unpack", dir.Sub("patch.zip"), dir.Sub("unpacked")}, &output), 0)
      << output;

  const std::string install = dir.Sub("install");
  std::filesystem::copy(dir.Sub("old"), install, std::filesystem::copy_options::recursive);
  WriteTextFile(install + "/" + UNINSTALL_LOG_NAME, BuildUninstallLog());
  const std::string old_log = ReadTextFile(install + "/" + UNINSTALL_LOG_NAME);

  std::vector<ManifestEntry> added, deleted, patched;
  std::string error;
  ASSERT_TRUE(ReadManifest(dir.Sub("unpacked/addedFiles.txt"), &added, &error));
  ASSERT_TRUE(ReadManifest(dir.Sub("unpacked/deletedFiles.txt"), &deleted, &error));
  ASSERT_TRUE(ReadManifest(dir.Sub("unpacked/patchedFiles.txt"), &patched, &error));
  EXPECT_EQ(added.size(), 15u);
  EXPECT_EQ(deleted.size(), 15u);
  EXPECT_EQ(patched.size(), 31u + 2);  // the assets, the launcher and the archive

  {
    HookRecorder hooks;
    ASSERT_TRUE(ApplyPatchDirectory(install, dir.Sub("unpacked"), PATCH_LAST_FILE_NAME))
        << ::testing::PrintToString(hooks.m_texts);
    EXPECT_TRUE(hooks.m_texts.empty()) << ::testing::PrintToString(hooks.m_texts);
  }
  Tree files = FilesOf(ReadTree(install));
  const std::string new_log = files[UNINSTALL_LOG_NAME];
  EXPECT_EQ(LoadLe32(new_log.data() + UNINSTALL_LOG_HEADER_RECORDS),
            LoadLe32(old_log.data() + UNINSTALL_LOG_HEADER_RECORDS) + added.size());
  files.erase(UNINSTALL_LOG_NAME);
  EXPECT_TRUE(files == new_build) << "the installation differs from the new build";

  // Applied again: every patched file is reported as patched already (the
  // archive's converter finds it converted), every deleted one as gone, and
  // no file changes.
  HookRecorder hooks;
  ASSERT_TRUE(ApplyPatchDirectory(install, dir.Sub("unpacked"), PATCH_LAST_FILE_NAME))
      << ::testing::PrintToString(hooks.m_texts);
  std::vector<std::string> expected;
  for (const ManifestEntry& entry : deleted) {
    expected.push_back(FIXED_FILE_ALREADY_REMOVED + install + "/" + TreeKey(entry.m_path));
  }
  std::vector<std::string> patched_already;
  for (const ManifestEntry& entry : patched) {
    if (IsArchiveFileName(entry.m_path)) continue;
    patched_already.push_back(FIXED_ALREADY_PATCHED + install + "/" + TreeKey(entry.m_path));
  }
  std::sort(patched_already.begin(), patched_already.end());
  std::vector<std::string> secondary = hooks.Of(TEXT_KIND_SECONDARY);
  ASSERT_GE(secondary.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(secondary.begin(), secondary.begin() + expected.size()),
            expected);
  std::vector<std::string> rest(secondary.begin() + expected.size(), secondary.end());
  std::sort(rest.begin(), rest.end());
  EXPECT_EQ(rest, patched_already);
  EXPECT_TRUE(hooks.Of(TEXT_KIND_ERROR).empty());
  Tree again = FilesOf(ReadTree(install));
  again.erase(UNINSTALL_LOG_NAME);
  EXPECT_TRUE(again == new_build) << "the second run changed the installation";
}

}  // namespace
}  // namespace BramPatch

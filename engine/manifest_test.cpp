#include "engine/manifest.h"

#include <gtest/gtest.h>

#include "foundation/paths.h"
#include "foundation/paths_test_support.h"

namespace BramPatch {
namespace {

using Lines = std::vector<std::string>;

TEST(ManifestLines, TerminatorsAndTrailingLine) {
  struct Case {
    std::string text;
    Lines lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\rc", {"a", "b", "c"}},
      {"a\r\n\r\nc\r\n", {"a", "", "c"}},  // an empty second line (added list)
      {"a\n\rb", {"a", "", "b"}},          // LF CR is two line ends
      {"a\r\r\nb", {"a", "", "b"}},
      {"\xEF\xBB\xBF"
       "bin\\x.dll\r\n",
       {"bin\\x.dll"}},
      {"bad\xFFname", {"bad\xEF\xBF\xBDname"}},  // malformed UTF-8 becomes U+FFFD
      {"\xC3\xA9t\xC3\xA9.txt", {"\xC3\xA9t\xC3\xA9.txt"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitManifestLines(c.text), c.lines) << c.text;
}

TEST(Manifest, ReadsEntriesInTriples) {
  ScopedTempDir dir;
  WriteTextFile(dir.Sub("patchedFiles.txt"), "bin\\a.dll\r\n11\r\n22\r\nBase.ja\r\n33\r\n44\r\n");
  std::vector<ManifestEntry> entries;
  std::string error;
  ASSERT_TRUE(ReadManifest(dir.Sub("patchedFiles.txt"), &entries, &error)) << error;
  EXPECT_EQ(entries,
            (std::vector<ManifestEntry>{{"bin\\a.dll", "11", "22"}, {"Base.ja", "33", "44"}}));

  WriteTextFile(dir.Sub("deletedFiles.txt"), "");
  ASSERT_TRUE(ReadManifest(dir.Sub("deletedFiles.txt"), &entries, &error));
  EXPECT_TRUE(entries.empty());
}

TEST(Manifest, MissingFileGivesTheCouldNotOpenText) {
  ScopedTempDir dir;
  std::vector<ManifestEntry> entries{{"x", "", ""}};
  std::string error;
  EXPECT_FALSE(ReadManifest(dir.Sub("addedFiles.txt"), &entries, &error));
  EXPECT_EQ(error, "Could not open: " + dir.Sub("addedFiles.txt") +
                       " for reading. The file might not be present");
  EXPECT_TRUE(entries.empty());

  // A directory in the manifest's place cannot be read either.
  ASSERT_TRUE(MakeDirectory(dir.Sub("patchedFiles.txt")));
  EXPECT_FALSE(ReadManifest(dir.Sub("patchedFiles.txt"), &entries, &error));
  EXPECT_EQ(error.rfind("Could not open: ", 0), 0u);
}

TEST(Manifest, EntryCutShortIsRefusedWithItsLine) {
  ScopedTempDir dir;
  WriteTextFile(dir.Sub("addedFiles.txt"), "a.txt\r\nmd5\r\n\r\nb.txt\r\n");
  std::vector<ManifestEntry> entries;
  std::string error;
  EXPECT_FALSE(ReadManifest(dir.Sub("addedFiles.txt"), &entries, &error));
  EXPECT_NE(error.find(dir.Sub("addedFiles.txt")), std::string::npos) << error;
  EXPECT_NE(error.find("line 4"), std::string::npos) << error;
  EXPECT_TRUE(entries.empty());
}

TEST(Manifest, AddedListTakesEveryThirdLine) {
  ScopedTempDir dir;
  WriteTextFile(dir.Sub("addedFiles.txt"), "a.txt\r\nm1\r\n\r\nsub\\b.txt\r\nm2\r\n\r\n");
  std::vector<std::string> paths;
  std::string error;
  ASSERT_TRUE(ReadAddedFileList(dir.path(), &paths, &error));
  EXPECT_EQ(paths, (Lines{"a.txt", "sub\\b.txt"}));

  ScopedTempDir empty;
  EXPECT_FALSE(ReadAddedFileList(empty.path(), &paths, &error));
  EXPECT_TRUE(paths.empty());
  EXPECT_EQ(error, "Could not open: " + empty.path() + "/addedFiles.txt" +
                       " for reading. The file might not be present");
}

TEST(Manifest, LastFileRuleMovesOnlyTheFirstMatch) {
  struct Case {
    Lines paths;
    std::string name;
    Lines order;
  };
  const Case cases[] = {
      {{"a.dll", "bin\\BramLauncher.exe", "c.dll", "d.dll"},
       "BramLauncher.exe",
       {"a.dll", "c.dll", "d.dll", "bin\\BramLauncher.exe"}},
      {{"x\\BramLauncher.exe", "b", "y\\BramLauncher.exe.cfg"},
       "BramLauncher.exe",
       {"b", "y\\BramLauncher.exe.cfg", "x\\BramLauncher.exe"}},
      {{"bin\\bramlauncher.exe", "b"}, "BramLauncher.exe", {"bin\\bramlauncher.exe", "b"}},
      {{"a", "b"}, "", {"a", "b"}},
      {{}, "BramLauncher.exe", {}},
  };
  for (const Case& c : cases) {
    std::vector<ManifestEntry> entries;
    for (const std::string& p : c.paths) entries.push_back({p, "t", "s"});
    MoveLastFileToEnd(&entries, c.name);
    Lines order;
    for (const ManifestEntry& e : entries) order.push_back(e.m_path);
    EXPECT_EQ(order, c.order);
  }
}

TEST(Manifest, ValidatorNamesManifestAndLine) {
  ScopedTempDir dir;
  std::string error;
  std::vector<ManifestEntry> good{{"bin\\a.dll", "", ""}, {"Base.ja", "", ""}};
  EXPECT_TRUE(ValidateManifestPaths(dir.path(), "patchedFiles.txt", good, &error)) << error;
  for (const char* bad : {"..\\evil.dll", "/etc/passwd", "C:\\x.dll", "bin\\..\\..\\x"}) {
    std::vector<ManifestEntry> entries{{"ok.txt", "", ""}, {bad, "", ""}};
    EXPECT_FALSE(ValidateManifestPaths(dir.path(), "patchedFiles.txt", entries, &error)) << bad;
    EXPECT_NE(error.find("patchedFiles.txt line 4"), std::string::npos) << error;
  }
}

TEST(Manifest, WriterRoundTripsThroughTheReader) {
  ScopedTempDir dir;
  std::vector<ManifestEntry> entries{
      {"bin\\a.dll", "0123456789abcdef0123456789abcdef", ""},
      {"data\\\xC3\xA9t\xC3\xA9.txt", "ffffffffffffffffffffffffffffffff", ""},
  };
  std::string error;
  ASSERT_TRUE(WriteManifest(dir.Sub("addedFiles.txt"), entries, &error)) << error;
  EXPECT_EQ(ReadTextFile(dir.Sub("addedFiles.txt")),
            "bin\\a.dll\r\n0123456789abcdef0123456789abcdef\r\n\r\n"
            "data\\\xC3\xA9t\xC3\xA9.txt\r\nffffffffffffffffffffffffffffffff\r\n\r\n");
  std::vector<ManifestEntry> back;
  ASSERT_TRUE(ReadManifest(dir.Sub("addedFiles.txt"), &back, &error));
  EXPECT_EQ(back, entries);

  ASSERT_TRUE(WriteManifest(dir.Sub("deletedFiles.txt"), {}, &error));
  EXPECT_EQ(ReadTextFile(dir.Sub("deletedFiles.txt")), "");

  EXPECT_FALSE(WriteManifest(dir.Sub("bad.txt"), {{"a\nb", "", ""}}, &error));
  EXPECT_FALSE(FileExists(dir.Sub("bad.txt")));
  EXPECT_FALSE(WriteManifest(dir.Sub("missing/dir/x.txt"), entries, &error));
  EXPECT_NE(error.find("missing/dir/x.txt"), std::string::npos);
}

}  // namespace
}  // namespace BramPatch

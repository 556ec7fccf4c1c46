#include "foundation/path_guard.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "foundation/paths.h"
#include "foundation/paths_test_support.h"

namespace {

TEST(PathGuard, AcceptsRelativePathsBelowTheRoot) {
  const struct {
    const char *relative, *joined;
  } cases[] = {
      {"a", "/r/a"},
      {"a/b.txt", "/r/a/b.txt"},
      {"bin\\KestroUtil.exe", "/r/bin/KestroUtil.exe"},
      {"./a", "/r/a"},
      {"a//b\\.\\c", "/r/a/b/c"},
      {"dir/", "/r/dir"},
      {"a..b/..c/c..", "/r/a..b/..c/c.."},
      {"...", "/r/..."},
      {"ab:c", "/r/ab:c"},  // a colon elsewhere is just a character
  };
  for (const auto& c : cases) {
    for (const char* root : {"/r", "/r/"}) {
      std::string joined = "untouched", error;
      EXPECT_TRUE(ResolveSafePath(root, c.relative, "test", &joined, &error)) << c.relative;
      EXPECT_EQ(joined, c.joined) << c.relative << " in " << root;
      EXPECT_EQ(error, "");
    }
  }
}

TEST(PathGuard, RefusesPathsThatLeaveTheRoot) {
  const std::string bad[] = {
      "",
      ".",
      "./",
      "/etc/passwd",
      "\\etc\\passwd",
      "\\\\server\\share\\x",
      "C:x",
      "c:\\windows\\x",
      "..",
      "../x",
      "a/../../x",
      "a\\..\\b",
      "a/..",
      std::string("a\0b", 3),
  };
  for (const std::string& relative : bad) {
    std::string joined = "untouched", error;
    EXPECT_FALSE(ResolveSafePath("/r", relative, "addedFiles.txt", &joined, &error))
        << testing::PrintToString(relative);
    EXPECT_EQ(joined, "untouched");
    EXPECT_FALSE(error.empty());
  }
  std::string joined, error;
  EXPECT_FALSE(ResolveSafePath("/r", "a/../../etc", "archive update.zip", &joined, &error));
  EXPECT_EQ(error, "unsafe path \"a/../../etc\" in archive update.zip");
  EXPECT_FALSE(ResolveSafePath("/r", std::string("a\0b", 3), "manifest", &joined, &error));
  EXPECT_EQ(error, "unsafe path \"a\\0b\" in manifest");
}

TEST(PathGuard, RefusesLinksThatLeadOutOfTheRoot) {
  ScopedTempDir temp;
  const std::string root = temp.Sub("root");
  ASSERT_TRUE(MakeDirectory(root + "/sub"));
  ASSERT_TRUE(MakeDirectory(temp.Sub("outside")));
  ASSERT_EQ(symlink(temp.Sub("outside").c_str(), (root + "/out").c_str()), 0);
  ASSERT_EQ(symlink("sub", (root + "/in").c_str()), 0);
  ASSERT_EQ(symlink("../outside/file", (root + "/sub/outfile").c_str()), 0);
  ASSERT_EQ(symlink(temp.Sub("nowhere").c_str(), (root + "/dangling").c_str()), 0);

  const struct {
    const char* relative;
    bool safe;
  } cases[] = {
      {"sub/new/file", true},  // the missing part will be created inside
      {"in/file", true},       // a link that stays inside
      {"out", false},         {"out/file", false}, {"sub/outfile", false},
      {"dangling", false},  // writing through it would create a file outside
      {"dangling/x", false},
  };
  for (const auto& c : cases) {
    std::string joined, error;
    EXPECT_EQ(ResolveSafePath(root, c.relative, "test", &joined, &error), c.safe) << c.relative;
  }
  // The root itself may be reached through a link.
  ASSERT_EQ(symlink(root.c_str(), temp.Sub("rootlink").c_str()), 0);
  std::string joined, error;
  EXPECT_TRUE(ResolveSafePath(temp.Sub("rootlink"), "in/x", "test", &joined, &error));
  EXPECT_FALSE(ResolveSafePath(temp.Sub("rootlink"), "out/x", "test", &joined, &error));
}

}  // namespace

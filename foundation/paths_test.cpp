#include "foundation/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <gtest/gtest.h>

#include "foundation/child_process.h"
#include "foundation/paths_test_support.h"

namespace {

TEST(Paths, JoinPathAddsOneSlashOnlyWhenNeeded) {
  const struct {
    const char *a, *b, *joined;
  } cases[] = {
      {"", "x", "x"},     {"a\\", "x", "a\\x"}, {"a", "x", "a/x"},
      {"a/", "x", "a/x"}, {"a", "", "a/"},      {"a", "\\x", "a/\\x"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c.a, c.b), c.joined) << c.a << " + " << c.b;
}

TEST(Paths, RelativePathMatchesWholeComponents) {
  const struct {
    const char *full, *base, *relative;
  } cases[] = {
      {"C:\\a\\b\\c.txt", "C:\\a", "b/c.txt"},
      {"/r/a/b.txt", "/r", "a/b.txt"},
      {"/r\\a/b.txt", "\\r\\", "a/b.txt"},
      {"/r/a", "/r//", "a"},
      {"/r", "/r", ""},
      {"/r/", "/r", ""},
      {"/r/a", "/", "r/a"},
      {"/R/a", "/r", "/R/a"},    // case matters
      {"/rx/a", "/r", "/rx/a"},  // "/rx" does not lie under "/r"
      {"/q/a", "/r", "/q/a"},
      {"a/b", "", "a/b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RelativePath(c.full, c.base), c.relative) << c.full << " against " << c.base;
  }
}

TEST(Paths, ExtensionFollowsTheLastDotOfTheLastComponent) {
  const struct {
    const char *path, *stripped, *extension;
  } cases[] = {
      {"dir\\file.tar.gz", "dir\\file.tar", "gz"},
      {"dir.x\\file", "dir.x\\file", ""},
      {"dir.x/file", "dir.x/file", ""},
      {"file.", "file", ""},
      {"noext", "noext", ""},
      {"a/b.c/d.e", "a/b.c/d", "e"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StripExtension(c.path), c.stripped) << c.path;
    EXPECT_EQ(GetExtension(c.path), c.extension) << c.path;
  }
}

TEST(Paths, NormalizeSeparatorsTurnsBothKinds) {
  std::string path = "a\\b/c\\\\d";
  NormalizeSeparators(path);
  EXPECT_EQ(path, "a/b/c//d");
  NormalizeSeparators(path, '\\');
  EXPECT_EQ(path, "a\\b\\c\\\\d");
}

TEST(Paths, MakeDirectoryCreatesParentsAndAcceptsBackslashes) {
  ScopedTempDir temp;
  EXPECT_FALSE(MakeDirectory(""));
  EXPECT_TRUE(MakeDirectory(temp.path() + "\\t\\a\\b\\"));
  EXPECT_TRUE(IsDirectory(temp.Sub("t")));
  EXPECT_TRUE(IsDirectory(temp.Sub("t/a/b")));
  EXPECT_TRUE(MakeDirectory(temp.Sub("t/a")));  // an existing directory is fine
  EXPECT_TRUE(MakeDirectory("/"));
}

TEST(Paths, MakeDirectoryReportsAFileInTheWayAsEexist) {
  ScopedTempDir temp;
  WriteTextFile(temp.Sub("file"), "x");
  errno = 0;
  EXPECT_FALSE(MakeDirectory(temp.Sub("file")));
  EXPECT_EQ(errno, EEXIST);
  errno = 0;
  EXPECT_FALSE(MakeDirectory(temp.Sub("file/sub")));
  EXPECT_EQ(errno, EEXIST);
}

TEST(Paths, MakeDirectoryLogsTheMkdirError) {
  ScopedTempDir temp;
  StdoutCapture capture(temp.Sub("stdout"));
  errno = 0;
  const bool made = MakeDirectory(temp.Sub(std::string(300, 'n')));  // name too long
  const int error = errno;
  const std::string out = capture.Finish();
  EXPECT_FALSE(made);
  EXPECT_EQ(error, ENAMETOOLONG);
  EXPECT_EQ(out, "MakeDirectory> mkdir returned err " + std::to_string(ENAMETOOLONG) + "\n");
}

TEST(Paths, QueriesOnFilesDirectoriesAndMissingPaths) {
  ScopedTempDir temp;
  WriteTextFile(temp.Sub("f.txt"), "12345");
  EXPECT_TRUE(FileExists(temp.Sub("f.txt")));
  EXPECT_TRUE(FileExists(temp.path()));
  EXPECT_FALSE(FileExists(temp.Sub("missing")));
  EXPECT_TRUE(IsDirectory(temp.path()));
  EXPECT_FALSE(IsDirectory(temp.Sub("f.txt")));
  EXPECT_FALSE(IsDirectory(temp.Sub("missing")));

  std::uint64_t size = 99;
  EXPECT_EQ(QueryFileSize(temp.Sub("f.txt"), &size), BRAMRESULT_OK);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(QueryFileSize(temp.Sub("missing"), &size), BRAMRESULT_IO_FAILURE);
  EXPECT_EQ(size, 0u);

  const timespec times[2] = {{1234567890, 0}, {1234567890, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, temp.Sub("f.txt").c_str(), times, 0), 0);
  std::int64_t time = 99;
  EXPECT_EQ(QueryFileTime(temp.Sub("f.txt"), &time), BRAMRESULT_OK);
  EXPECT_EQ(time, 1234567890);
  EXPECT_EQ(QueryFileTime(temp.Sub("missing"), &time), BRAMRESULT_IO_FAILURE);
  EXPECT_EQ(time, 0);
}

TEST(Paths, QueryFileSizeReportsSizesBeyondFourGigabytes) {
  ScopedTempDir temp;
  const std::string path = temp.Sub("sparse");
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  const off_t five_gib = off_t(5) << 30;
  const bool sized = ftruncate(fd, five_gib) == 0;
  close(fd);
  if (!sized) GTEST_SKIP() << "the file system refuses a 5 GiB sparse file";
  std::uint64_t size = 0;
  EXPECT_EQ(QueryFileSize(path, &size), BRAMRESULT_OK);
  EXPECT_EQ(size, std::uint64_t(5) << 30);
}

TEST(Paths, ClearReadOnlySetsTheOwnerWriteBit) {
  ScopedTempDir temp;
  const std::string path = temp.Sub("ro");
  WriteTextFile(path, "x");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_TRUE(ClearReadOnly(path));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_TRUE(ClearReadOnly(path));  // already writable
  EXPECT_FALSE(ClearReadOnly(temp.Sub("missing")));
}

TEST(Paths, DeletePathRemovesFilesOnly) {
  ScopedTempDir temp;
  WriteTextFile(temp.Sub("f"), "x");
  ASSERT_TRUE(MakeDirectory(temp.Sub("d")));
  EXPECT_FALSE(DeletePath(""));
  EXPECT_TRUE(DeletePath(temp.Sub("f")));
  EXPECT_FALSE(FileExists(temp.Sub("f")));
  EXPECT_FALSE(DeletePath(temp.Sub("f")));
  EXPECT_FALSE(DeletePath(temp.Sub("d")));
  EXPECT_TRUE(IsDirectory(temp.Sub("d")));
}

TEST(Paths, MoveFileGuardedMovesAndNeverReplaces) {
  ScopedTempDir temp;
  WriteTextFile(temp.Sub("a"), "A");
  WriteTextFile(temp.Sub("b"), "B");
  EXPECT_FALSE(MoveFileGuarded(temp.Sub("a"), temp.Sub("b")));
  EXPECT_EQ(ReadTextFile(temp.Sub("a")), "A");
  EXPECT_EQ(ReadTextFile(temp.Sub("b")), "B");

  EXPECT_TRUE(MoveFileGuarded(temp.path() + "\\a", temp.path() + "\\c"));
  EXPECT_FALSE(FileExists(temp.Sub("a")));
  EXPECT_EQ(ReadTextFile(temp.Sub("c")), "A");

  EXPECT_FALSE(MoveFileGuarded(temp.Sub("missing"), temp.Sub("d")));
  EXPECT_FALSE(FileExists(temp.Sub("d")));
}

TEST(Paths, MoveFileGuardedRefusesAReadOnlyFile) {
  ScopedTempDir temp;
  WriteTextFile(temp.Sub("ro"), "R");
  ASSERT_EQ(chmod(temp.Sub("ro").c_str(), 0444), 0);
  EXPECT_FALSE(MoveFileGuarded(temp.Sub("ro"), temp.Sub("moved")));
  EXPECT_EQ(ReadTextFile(temp.Sub("ro")), "R");
  EXPECT_FALSE(FileExists(temp.Sub("moved")));
}

TEST(Paths, MoveFileGuardedRefusesARunningExecutable) {
  ScopedTempDir temp;
  const std::string program = temp.Sub("sleeper");
  {
    std::ifstream in("/bin/sleep", std::ios::binary);
    std::ofstream out(program, std::ios::binary);
    out << in.rdbuf();
  }
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  ChildProcess* child = StartChildProcess(program, "1000");
  ASSERT_NE(child, nullptr);
  // Once the exec has happened the program file is busy; until then it is
  // not, so look for the sign of the exec first: the child's own image.
  const std::string exe_link = "/proc/" + std::to_string(child->m_pid) + "/exe";
  for (int i = 0; i < 2000; ++i) {
    std::error_code ignored;
    if (std::filesystem::read_symlink(exe_link, ignored) == program) break;
    usleep(1000);
  }
  EXPECT_FALSE(MoveFileGuarded(program, temp.Sub("moved")));
  EXPECT_TRUE(FileExists(program));
  EXPECT_FALSE(FileExists(temp.Sub("moved")));
  KillChild(child);
  EXPECT_TRUE(WaitChild(child, CHILD_WAIT_INFINITE));
  CloseChild(child);
  delete child;
  EXPECT_TRUE(MoveFileGuarded(program, temp.Sub("moved")));  // free once it has ended
}

TEST(Paths, MakeTempNameCountsUpByOne) {
  const std::string first = MakeTempName("/tmp\\x");
  const std::string second = MakeTempName("/tmp\\x");
  ASSERT_EQ(first.rfind("/tmp/x/file", 0), 0u) << first;
  ASSERT_EQ(second.rfind("/tmp/x/file", 0), 0u) << second;
  const std::uint32_t a = std::stoul(first.substr(11));
  const std::uint32_t b = std::stoul(second.substr(11));
  EXPECT_EQ(b, a + 1);
}

TEST(Paths, ListDirectoryGivesFullPathsOfEveryEntry) {
  ScopedTempDir temp;
  std::set<std::string> entries{"stale"};
  EXPECT_EQ(ListDirectory(temp.path(), &entries), BRAMRESULT_OK);
  EXPECT_TRUE(entries.empty());

  WriteTextFile(temp.Sub("f"), "x");
  WriteTextFile(temp.Sub(".hidden"), "x");
  ASSERT_TRUE(MakeDirectory(temp.Sub("d/inner")));
  EXPECT_EQ(ListDirectory(temp.path(), &entries), BRAMRESULT_OK);
  EXPECT_EQ(entries, (std::set<std::string>{temp.Sub(".hidden"), temp.Sub("d"), temp.Sub("f")}));

  entries = {"stale"};
  EXPECT_EQ(ListDirectory(temp.Sub("missing"), &entries), BRAMRESULT_NOT_FOUND);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(ListDirectory(temp.Sub("f"), &entries), BRAMRESULT_NOT_FOUND);
}

TEST(Paths, RemoveTreeRemovesEverythingButFollowsNoLink) {
  ScopedTempDir temp;
  const std::string tree = temp.Sub("tree");
  ASSERT_TRUE(MakeDirectory(tree + "/a/b/c"));
  WriteTextFile(tree + "/top.txt", "x");
  WriteTextFile(tree + "/a/b/deep.txt", "x");
  WriteTextFile(tree + "/a/ro.txt", "x");
  ASSERT_EQ(chmod((tree + "/a/ro.txt").c_str(), 0444), 0);
  ASSERT_TRUE(MakeDirectory(temp.Sub("outside")));
  WriteTextFile(temp.Sub("outside/keep.txt"), "keep");
  ASSERT_EQ(symlink(temp.Sub("outside").c_str(), (tree + "/a/link").c_str()), 0);

  EXPECT_TRUE(RemoveTree(tree));
  EXPECT_FALSE(FileExists(tree));
  EXPECT_EQ(ReadTextFile(temp.Sub("outside/keep.txt")), "keep");

  EXPECT_FALSE(RemoveTree(""));
  EXPECT_FALSE(RemoveTree(temp.Sub("missing")));
  ASSERT_EQ(symlink(temp.Sub("outside").c_str(), temp.Sub("dirlink").c_str()), 0);
  EXPECT_FALSE(RemoveTree(temp.Sub("dirlink")));
  EXPECT_EQ(ReadTextFile(temp.Sub("outside/keep.txt")), "keep");
}

}  // namespace

#include "foundation/child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "foundation/paths_test_support.h"

namespace {

const std::string CHILD = std::string(OMVEL_TESTCHILD_DIR) + "/child_process_testchild";

std::set<std::string> OpenDescriptors() {
  std::set<std::string> fds;
  DIR* dir = opendir("/proc/self/fd");
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != dirfd(dir)) {
      fds.insert(entry->d_name);
    }
  }
  closedir(dir);
  return fds;
}

// Runs the test child to its end; returns everything it printed.
std::string RunToEnd(const std::string& arguments, int* exit_code = nullptr) {
  ChildProcess* child = StartChildProcess(CHILD, arguments);
  EXPECT_NE(child, nullptr) << arguments;
  if (child == nullptr) return "";
  std::string text;
  while (ReadChildOutput(child, text) || ReadChildErrors(child, text)) {
  }
  EXPECT_TRUE(WaitChild(child, CHILD_WAIT_INFINITE));
  if (exit_code != nullptr) *exit_code = ChildExitCode(child);
  CloseChild(child);
  delete child;
  return text;
}

TEST(ChildProcess, SilentChildEndsTheOutputAtOnce) {
  ChildProcess* child = StartChildProcess(CHILD, "silent");
  ASSERT_NE(child, nullptr);
  std::string text;
  EXPECT_FALSE(ReadChildOutput(child, text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(ReadChildErrors(child, text));
  EXPECT_TRUE(WaitChild(child, CHILD_WAIT_INFINITE));
  EXPECT_EQ(ChildExitCode(child), 0);
  CloseChild(child);
  delete child;
}

TEST(ChildProcess, LargeOutputArrivesInChunksOfAtMost8192Bytes) {
  ChildProcess* child = StartChildProcess(CHILD, "bytes 20000");
  ASSERT_NE(child, nullptr);
  std::string text;
  std::vector<std::size_t> chunks;
  for (std::size_t before = 0; ReadChildOutput(child, text); before = text.size()) {
    chunks.push_back(text.size() - before);
  }
  ASSERT_EQ(text.size(), 20000u);
  for (std::size_t i = 0; i < text.size(); ++i) {
    ASSERT_EQ(text[i], static_cast<char>('a' + i % 26)) << "at " << i;
  }
  EXPECT_EQ(chunks, (std::vector<std::size_t>{8192, 8192, 3616}));
  EXPECT_TRUE(WaitChild(child, CHILD_WAIT_INFINITE));
  CloseChild(child);
  delete child;
}

TEST(ChildProcess, NulCutsTheRestOfItsChunk) { EXPECT_EQ(RunToEnd("nul"), "abc"); }

TEST(ChildProcess, StandardOutputAndErrorShareOnePipe) {
  EXPECT_EQ(RunToEnd("streams"), "out\nerr\n");
}

TEST(ChildProcess, ArgumentsAreSplitByTheWindowsRules) {
  EXPECT_EQ(RunToEnd(R"(args "a b" c\"d "" e\\f)"), R"([a b][c"d][][e\\f])");
}

TEST(ChildProcess, ReportsTheExitCodeAndSignals) {
  int code = 0;
  RunToEnd("exit 7", &code);
  EXPECT_EQ(code, 7);

  ChildProcess* child = StartChildProcess(CHILD, "pause");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(ChildExitCode(child), -1);
  EXPECT_FALSE(WaitChild(child, 0));
  EXPECT_FALSE(WaitChild(child, 50));  // it never ends by itself
  KillChild(child);
  EXPECT_TRUE(WaitChild(child, CHILD_WAIT_INFINITE));
  EXPECT_EQ(ChildExitCode(child), 128 + SIGKILL);
  EXPECT_TRUE(WaitChild(child, 0));  // still exited
  KillChild(child);                  // reaped: nothing happens
  CloseChild(child);
  delete child;
}

TEST(ChildProcess, MissingExecutableLeavesNothingOpen) {
  const std::set<std::string> before = OpenDescriptors();
  EXPECT_EQ(StartChildProcess("/nonexistent/KestroUtil.exe", "listbuilds"), nullptr);
  EXPECT_EQ(StartChildProcess("no-such-program-in-path", ""), nullptr);
  EXPECT_EQ(StartChildProcess("/etc/hostname", ""), nullptr);  // not executable
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(ChildProcess, NoDescriptorOfOursReachesTheChild) {
  const int inheritable = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(inheritable, 0);
  const std::string listing = RunToEnd("fds");
  close(inheritable);
  std::istringstream in(listing);
  std::set<int> fds;
  for (int fd; in >> fd;) fds.insert(fd);
  EXPECT_TRUE(fds.count(1) && fds.count(2)) << listing;
  EXPECT_TRUE(fds.empty() || *fds.rbegin() <= 2) << "child sees: " << listing;
}

TEST(ChildProcess, ADeletedRunningChildIsReapedLater) {
  ChildProcess* child = StartChildProcess(CHILD, "pause");
  ASSERT_NE(child, nullptr);
  const int pid = child->m_pid;
  KillChild(child);
  CloseChild(child);
  delete child;  // maybe before the kill has ended it

  bool reaped = false;
  for (int round = 0; round < 500 && !reaped; ++round) {
    RunToEnd("silent");  // every start and close reaps what has ended
    siginfo_t info{};
    // WNOWAIT: look without reaping it ourselves.
    reaped = waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
    if (!reaped) usleep(2000);
  }
  EXPECT_TRUE(reaped);
}

TEST(ChildProcess, StartsInTheGivenWorkingDirectory) {
  ScopedTempDir dir;
  ASSERT_EQ(mkdir(dir.Sub("bin").c_str(), 0700), 0);
  char* real = realpath(dir.Sub("bin").c_str(), nullptr);
  ASSERT_NE(real, nullptr);
  const std::string expected = std::string(real) + "\n";
  free(real);

  ChildProcess* child = StartChildProcessIn(dir.Sub("bin"), "pwd", "");
  ASSERT_NE(child, nullptr);
  std::string text;
  while (ReadChildOutput(child, text)) {
  }
  ASSERT_TRUE(WaitChild(child, CHILD_WAIT_INFINITE));
  EXPECT_EQ(ChildExitCode(child), 0);
  EXPECT_EQ(text, expected);
  delete child;

  // Our own working directory is unchanged, and a directory that cannot be
  // entered means the child does not start.
  const std::set<std::string> before = OpenDescriptors();
  EXPECT_EQ(StartChildProcessIn(dir.Sub("missing"), "pwd", ""), nullptr);
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace

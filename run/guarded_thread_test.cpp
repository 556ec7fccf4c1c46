#include <signal.h>

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/crash_test_support.h"

namespace {

const std::string CHILD = std::string(OMVEL_TESTCHILD_DIR) + "/guarded_thread_testchild";
constexpr int PTRACE_UNAVAILABLE = 77;

TEST(GuardedThread, ExitCodeIsZeroUnguardedAndTheBodysUnderADebugger) {
  TestDirectory directory;
  const ChildResult plain = RunChild(CHILD, {"exit-code"}, directory.path());
  EXPECT_TRUE(plain.Exited(0)) << plain.output;
  EXPECT_EQ(plain.output, "exit code 0\n");

  const ChildResult traced = RunChild(CHILD, {"traced", "exit-code"}, directory.path());
  if (traced.Exited(PTRACE_UNAVAILABLE)) GTEST_SKIP() << "ptrace is not permitted here";
  EXPECT_TRUE(traced.Exited(0)) << traced.output;
  EXPECT_EQ(traced.output, "exit code 5\n") << "TracerPid is set, so the body runs unguarded";
  EXPECT_TRUE(directory.Files().empty());
}

TEST(GuardedThread, FaultInTheBodyWritesStartupDumpShowsBoxAndExits255) {
  for (const char* mode : {"segv", "throw"}) {
    SCOPED_TRACE(mode);
    TestDirectory directory;
    const ChildResult run = RunChild(CHILD, {mode}, directory.path());
    EXPECT_TRUE(run.Exited(255)) << run.output;
    EXPECT_EQ(run.output, "Fatal Error: Unhandled Exception\n");
    const std::vector<std::string> files = directory.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_THAT(files[0], testing::MatchesRegex("patcher-v35673-[0-9.-]+\\.dmp"));
    ExpectLldbBacktraceShows(directory.path() + "/" + files[0],
                             std::string(mode) == "segv" ? "FaultInWorker" : "GuardedEntry");
  }
}

TEST(GuardedThread, UnderADebuggerAFaultReachesTheFilterAndNoStartupDumpIsWritten) {
  TestDirectory directory;
  const ChildResult traced = RunChild(CHILD, {"traced", "segv"}, directory.path());
  if (traced.Exited(PTRACE_UNAVAILABLE)) GTEST_SKIP() << "ptrace is not permitted here";
  EXPECT_TRUE(traced.Exited(128 + SIGSEGV)) << traced.output;
  EXPECT_THAT(directory.Files(), testing::ElementsAre("Kestro-42011.dmp"));
}

}  // namespace

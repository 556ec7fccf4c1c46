// The tracker runs in allocation_tracker_testchild, a real program linked
// with it; each case starts it in a mode and reads what it printed: its
// thread id, the report texts (through the report sink) and the state of
// fault handling after the report.
#include <signal.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/crash_test_support.h"

namespace {

using testing::HasSubstr;
using testing::Not;

const std::string CHILD = std::string(OMVEL_TESTCHILD_DIR) + "/allocation_tracker_testchild";
const std::string CHILD_SOURCE = "alloctrack/allocation_tracker_testchild.cpp";

const std::string BANNER_BEGIN = "\n\n>>>>>>>>>> DEBUG ALLOCATION >>>>>>>>>>\n\n";
const std::string BANNER_END = "\n\n<<<<<<<<<< DEBUG ALLOCATION <<<<<<<<<<\n\n";

// The line of the child's source that carries "SITE: <name>" at its end.
int SiteLine(const std::string& name) {
  std::ifstream source(std::string(OMVEL_SOURCE_DIR) + "/" + CHILD_SOURCE);
  int number = 0;
  for (std::string line; std::getline(source, line);) {
    ++number;
    const std::string marker = "// SITE: " + name;
    if (line.size() >= marker.size() &&
        line.compare(line.size() - marker.size(), marker.size(), marker) == 0) {
      return number;
    }
  }
  ADD_FAILURE() << "no site " << name;
  return -1;
}

std::string Site(const std::string& name) {
  return CHILD_SOURCE + "(" + std::to_string(SiteLine(name)) + ")";
}

struct ChildRun {
  ChildResult result;
  std::string thread;  // the id the child printed first
  std::string report;  // from the opening banner to the closing one, both included
};

ChildRun RunMode(const std::string& mode) {
  TestDirectory directory;
  ChildRun run;
  run.result = RunChild(CHILD, {mode}, directory.path());
  std::smatch match;
  if (std::regex_search(run.result.output, match, std::regex("^thread ([0-9]+)\n"))) {
    run.thread = match[1];
  }
  const std::size_t begin = run.result.output.rfind(BANNER_BEGIN);
  const std::size_t end = run.result.output.rfind(BANNER_END);
  if (begin != std::string::npos && end != std::string::npos && end > begin) {
    run.report = run.result.output.substr(begin, end + BANNER_END.size() - begin);
  }
  return run;
}

// "N memory blocks of size S" → thread ids, from every group line of a report.
std::multimap<std::string, std::string> GroupLines(const std::string& report) {
  std::multimap<std::string, std::string> groups;
  const std::regex group(
      R"(\): ([0-9]+) memory blocks? of size ([0-9]+) (?:was|were) never freed \(thread id ([0-9]+)\)\.)");
  for (auto it = std::sregex_iterator(report.begin(), report.end(), group);
       it != std::sregex_iterator(); ++it) {
    groups.emplace((*it)[1].str() + " of " + (*it)[2].str(), (*it)[3].str());
  }
  return groups;
}

TEST(AllocationTracker, EverythingFreedReportsZeroLeaksBetweenTheBanners) {
  const ChildRun run = RunMode("clean");
  ASSERT_TRUE(run.result.Exited(0)) << run.result.output;
  EXPECT_EQ(run.report, BANNER_BEGIN + "\n\nA total of 0 leaks at 0 locations.\n" + BANNER_END)
      << run.result.output;
  EXPECT_THAT(run.result.output, Not(HasSubstr("unknown memory block"))) << run.result.output;
}

TEST(AllocationTracker, TwoBlocksFromOneSiteAreOneGroupWithTheirCallers) {
  const ChildRun run = RunMode("leak-two");
  ASSERT_TRUE(run.result.Exited(0)) << run.result.output;
  const std::string first = Site("leak-two") + ": 2 memory blocks of size 16 were never freed " +
                            "(thread id " + run.thread + ").\n";
  EXPECT_THAT(run.report, HasSubstr(first)) << run.report;
  EXPECT_THAT(run.report, HasSubstr(first + "/")) << "the callers follow at once";
  EXPECT_THAT(run.report, HasSubstr(Site("leak-two caller") + ": Called from.\n")) << run.report;
  EXPECT_THAT(run.report, HasSubstr("\n\nA total of 2 leaks at 1 locations.\n")) << run.report;
}

TEST(AllocationTracker, EveryFormOfNewIsTrackedAndGroupsComeBySize) {
  const ChildRun run = RunMode("forms");
  ASSERT_TRUE(run.result.Exited(0)) << run.result.output;
  std::size_t previous = 0;
  for (int size = 101; size <= 108; ++size) {
    const std::string line = "1 memory block of size " + std::to_string(size) +
                             " was never freed (thread id " + run.thread + ").";
    const std::size_t at = run.report.find(line);
    ASSERT_NE(at, std::string::npos) << line << "\n" << run.report;
    EXPECT_GT(at, previous) << "size " << size << " out of order";
    const std::size_t line_start = run.report.rfind('\n', at) + 1;
    EXPECT_THAT(run.report.substr(line_start, at - line_start), HasSubstr(CHILD_SOURCE + "("))
        << "the site of size " << size << " is the line that allocated";
    previous = at;
  }
  EXPECT_THAT(run.report, HasSubstr("A total of 8 leaks at 8 locations.")) << run.report;
}

// Blocks from malloc, and blocks from before the tracker started, are
// unknown to it: deleting one is reported and the block is freed.
TEST(AllocationTracker, DeletingAnUnknownBlockReportsItsLine) {
  for (const std::string mode : {"malloc-delete", "early-delete"}) {
    const ChildRun run = RunMode(mode);
    ASSERT_TRUE(run.result.Exited(0)) << mode << "\n" << run.result.output;
    std::smatch block;
    ASSERT_TRUE(std::regex_search(run.result.output, block, std::regex("block (0x[0-9a-f]+)\n")));
    EXPECT_THAT(run.result.output, HasSubstr(Site(mode) + ": unknown memory block starting at " +
                                             block[1].str() + " freed.\n"))
        << run.result.output;
    EXPECT_EQ(run.report, BANNER_BEGIN + "\n\nA total of 0 leaks at 0 locations.\n" + BANNER_END)
        << mode << ": the untracked early block is no leak\n"
        << run.result.output;
  }
}

// The tracker's operators are the program's own (valgrind must not put its
// replacements over them); memcheck then sees the malloc block freed once,
// and not lost. libunwind checks addresses by writing them to a pipe, which
// memcheck reports as uninitialised bytes: suppressed.
TEST(AllocationTracker, MallocBlockDeletedIsFreedOnceUnderMemcheck) {
  if (system("command -v valgrind > /dev/null 2>&1") != 0) {
    GTEST_FAIL() << "valgrind is not installed; this check needs Debian's valgrind";
  }
  TestDirectory directory;
  const std::string suppressions = directory.path() + "/libunwind.supp";
  std::ofstream(suppressions) << "{\n  libunwind-address-check\n  Memcheck:Param\n  write(buf)\n"
                                 "  fun:syscall\n  obj:*libunwind.so*\n}\n";
  const ChildResult result = RunChild(
      "/usr/bin/valgrind",
      {"--tool=memcheck", "--soname-synonyms=somalloc=nouserintercepts",
       "--suppressions=" + suppressions, "--error-exitcode=97", "--leak-check=full",
       "--show-leak-kinds=all", "--errors-for-leak-kinds=definite", CHILD, "malloc-delete"},
      directory.path());
  EXPECT_TRUE(result.Exited(0)) << result.output;
  EXPECT_THAT(result.output,
              HasSubstr(Site("malloc-delete") + ": unknown memory block starting at "))
      << result.output;
  EXPECT_THAT(result.output, HasSubstr("ERROR SUMMARY: 0 errors")) << result.output;
  const std::string allocated_at = CHILD_SOURCE.substr(CHILD_SOURCE.rfind('/') + 1) + ":" +
                                   std::to_string(SiteLine("malloc-block")) + ")";
  EXPECT_THAT(result.output, Not(HasSubstr(allocated_at)))
      << "no error and no loss record names the block\n"
      << result.output;
}

TEST(AllocationTracker, ThreadsAllocatingAtOnceKeepExactCounts) {
  const ChildRun run = RunMode("threads");
  ASSERT_TRUE(run.result.Exited(0)) << run.result.output;
  const std::multimap<std::string, std::string> groups = GroupLines(run.report);
  ASSERT_EQ(groups.size(), 4u) << run.report;
  std::set<std::string> threads;
  for (int index = 0; index < 4; ++index) {
    const std::string key = std::to_string(2 * (index + 1)) + " of " + std::to_string(200 + index);
    ASSERT_EQ(groups.count(key), 1u) << key << "\n" << run.report;
    threads.insert(groups.find(key)->second);
  }
  EXPECT_EQ(threads.size(), 4u) << "each worker's blocks carry its own thread id";
  EXPECT_EQ(threads.count(run.thread), 0u);
  EXPECT_THAT(run.report, HasSubstr("\n\nA total of 20 leaks at 4 locations.\n")) << run.report;
  EXPECT_THAT(run.result.output, Not(HasSubstr("unknown memory block"))) << run.result.output;
}

TEST(AllocationTracker, ForkedChildrenAllocateWhileOtherThreadsDid) {
  const ChildRun run = RunMode("fork");
  ASSERT_TRUE(run.result.Exited(0)) << run.result.output;
  EXPECT_THAT(run.result.output, HasSubstr("failed forks 0\n")) << run.result.output;
  std::smatch child;
  ASSERT_TRUE(std::regex_search(run.result.output, child, std::regex("child thread ([0-9]+)\n")));
  EXPECT_THAT(run.result.output, HasSubstr("1 memory block of size 77 was never freed (thread id " +
                                           child[1].str() + ")."))
      << "the child's blocks carry the child's thread id\n"
      << run.result.output;
  EXPECT_EQ(run.report, BANNER_BEGIN + "\n\nA total of 0 leaks at 0 locations.\n" + BANNER_END)
      << run.result.output;
}

TEST(AllocationTracker, FaultBeforeTheApplicationsHandlersPrintsTheResolvedStack) {
  const ChildRun run = RunMode("crash");
  EXPECT_TRUE(run.result.Signalled(SIGSEGV)) << run.result.output;
  EXPECT_THAT(run.result.output, HasSubstr("Memory bound was overwritten\n\nCall stack:\n"))
      << run.result.output;
  EXPECT_THAT(run.result.output,
              HasSubstr(Site("crash") + ", (anonymous namespace)::CrashOnPurpose()\n"))
      << run.result.output;
  EXPECT_THAT(run.result.output, Not(HasSubstr("not reached")));
}

TEST(AllocationTracker, ApplicationsCrashHandlersReplaceTheTrackersFilter) {
  TestDirectory directory;
  const ChildResult result = RunChild(CHILD, {"crash-installed"}, directory.path());
  EXPECT_TRUE(result.Signalled(SIGSEGV)) << result.output;
  EXPECT_THAT(result.output, Not(HasSubstr("Memory bound was overwritten"))) << result.output;
  EXPECT_THAT(directory.Files(), testing::ElementsAre("Kestro-42011.dmp"));
}

// After the report the tracker's own filter is gone, and the application's
// crash handlers, once installed, stay for the rest of static destruction.
TEST(AllocationTracker, ExitReportRemovesOnlyTheTrackersFilter) {
  const ChildRun bare = RunMode("clean");
  EXPECT_THAT(bare.result.output, testing::EndsWith("after report: fault handling default\n"));
  const ChildRun installed = RunMode("installed");
  ASSERT_TRUE(installed.result.Exited(0)) << installed.result.output;
  EXPECT_THAT(installed.result.output,
              testing::EndsWith("after report: fault handling installed\n"));
}

}  // namespace

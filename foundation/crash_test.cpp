// Crash dumps end processes, so every case runs crash_testchild in its own
// temporary working directory and looks at what it left behind.
#include <signal.h>

#include <cstdint>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/crash_test_support.h"
#include "foundation/minidump_format.h"

namespace {

const std::string CHILD = std::string(OMVEL_TESTCHILD_DIR) + "/crash_testchild";
const char* const STARTUP_DUMP_PATTERN =
    R"(patcher-v35673-[0-9]{4}\.[0-9]{2}\.[0-9]{2}-[0-9]{2}\.[0-9]{2}\.[0-9]{2}\.dmp)";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The parts of a dump that the tests check, read with bounds checks.
struct DumpSummary {
  bool valid = false;
  std::uint64_t flags = 0;
  std::vector<std::uint32_t> thread_ids;
  std::vector<std::uint32_t> stack_sizes;  // per thread
  std::uint32_t exception_thread = 0;
  std::uint32_t exception_code = 0;
  std::vector<std::string> module_paths;  // ASCII paths only
  std::vector<std::uint32_t> build_id_sizes;
  std::uint32_t memory_ranges = 0;
  bool has_maps = false;
};

template <typename T>
bool ReadAt(const std::string& data, std::uint64_t offset, T* out) {
  if (offset + sizeof(T) > data.size()) return false;
  std::memcpy(out, data.data() + offset, sizeof(T));
  return true;
}

bool ReadString(const std::string& data, std::uint32_t rva, std::string* out) {
  std::uint32_t bytes = 0;
  if (!ReadAt(data, rva, &bytes) || rva + 4ull + bytes > data.size()) return false;
  out->clear();
  for (std::uint32_t i = 0; i < bytes; i += 2) out->push_back(data[rva + 4 + i]);
  return true;
}

DumpSummary ReadDump(const std::string& path) {
  DumpSummary summary;
  const std::string data = ReadWholeFile(path);
  Minidump::Header header;
  if (!ReadAt(data, 0, &header) || header.signature != Minidump::SIGNATURE) return summary;
  summary.flags = header.flags;
  for (std::uint32_t i = 0; i < header.stream_count; ++i) {
    Minidump::Directory entry;
    if (!ReadAt(data, header.stream_directory_rva + 12ull * i, &entry)) return summary;
    const std::uint32_t rva = entry.location.rva;
    if (rva + static_cast<std::uint64_t>(entry.location.data_size) > data.size()) return summary;
    std::uint32_t count = 0;
    switch (entry.stream_type) {
      case Minidump::STREAM_THREAD_LIST:
        ReadAt(data, rva, &count);
        for (std::uint32_t t = 0; t < count; ++t) {
          Minidump::Thread thread;
          if (!ReadAt(data, rva + 4 + 48ull * t, &thread)) return summary;
          summary.thread_ids.push_back(thread.thread_id);
          summary.stack_sizes.push_back(thread.stack.memory.data_size);
        }
        break;
      case Minidump::STREAM_MODULE_LIST:
        ReadAt(data, rva, &count);
        for (std::uint32_t m = 0; m < count; ++m) {
          Minidump::Module module;
          std::string name;
          if (!ReadAt(data, rva + 4 + 108ull * m, &module) ||
              !ReadString(data, module.module_name_rva, &name)) {
            return summary;
          }
          summary.module_paths.push_back(name);
          summary.build_id_sizes.push_back(
              module.cv_record.data_size >= 4 ? module.cv_record.data_size - 4 : 0);
        }
        break;
      case Minidump::STREAM_EXCEPTION: {
        Minidump::ExceptionStream exception;
        if (!ReadAt(data, rva, &exception)) return summary;
        summary.exception_thread = exception.thread_id;
        summary.exception_code = exception.exception_record.exception_code;
        break;
      }
      case Minidump::STREAM_MEMORY_LIST:
        ReadAt(data, rva, &summary.memory_ranges);
        break;
      case Minidump::STREAM_LINUX_MAPS:
        summary.has_maps = entry.location.data_size > 0;
        break;
      default:
        break;
    }
  }
  summary.valid = true;
  return summary;
}

struct ChildRun {
  ChildResult result;
  std::vector<std::string> files;
};

ChildRun RunIn(const TestDirectory& directory, const std::vector<std::string>& arguments) {
  ChildRun run;
  run.result = RunChild(CHILD, arguments, directory.path());
  run.files = directory.Files();
  return run;
}

TEST(CrashDump, FaultOnUnguardedThreadLeavesOneFilterDumpWithEveryThread) {
  TestDirectory directory;
  const ChildRun run = RunIn(directory, {"segv-thread"});
  EXPECT_TRUE(run.result.Signalled(SIGSEGV)) << run.result.output;
  ASSERT_THAT(run.files, testing::ElementsAre("Kestro-42011.dmp"));

  const std::string dump = directory.path() + "/Kestro-42011.dmp";
  const DumpSummary summary = ReadDump(dump);
  ASSERT_TRUE(summary.valid);
  EXPECT_EQ(summary.flags, Minidump::TYPE_WITH_INDIRECTLY_REFERENCED_MEMORY);
  EXPECT_EQ(summary.exception_code, static_cast<std::uint32_t>(SIGSEGV));
  EXPECT_EQ(summary.thread_ids.size(), 3u) << "main, idle and crashing thread";
  EXPECT_THAT(summary.thread_ids, testing::Contains(summary.exception_thread));
  for (std::uint32_t size : summary.stack_sizes) EXPECT_GT(size, 0u) << "a thread without stack";
  EXPECT_GE(summary.memory_ranges, 3u);
  EXPECT_TRUE(summary.has_maps);
  bool found_child = false;
  for (std::size_t i = 0; i < summary.module_paths.size(); ++i) {
    if (summary.module_paths[i] != CHILD) continue;
    found_child = true;
    EXPECT_EQ(summary.build_id_sizes[i], 20u) << "GNU build id of the executable";
  }
  EXPECT_TRUE(found_child) << "the executable is in the module list";
  ExpectLldbBacktraceShows(dump, "CrashOnPurpose");
}

TEST(CrashDump, FaultOnUnguardedMainThreadGoesToTheFilter) {
  TestDirectory directory;
  const ChildRun run = RunIn(directory, {"segv-main"});
  EXPECT_TRUE(run.result.Signalled(SIGSEGV)) << run.result.output;
  ASSERT_THAT(run.files, testing::ElementsAre("Kestro-42011.dmp"));
  ExpectLldbBacktraceShows(directory.path() + "/Kestro-42011.dmp", "CrashOnPurpose");
}

TEST(CrashDump, GuardedFaultWritesStartupDumpShowsBoxAndExits255) {
  struct Case {
    std::vector<std::string> arguments;
    const char* shows;
  };
  const Case cases[] = {
      {{"segv-main-guarded"}, "main thread, box from the helper process"},
      {{"segv-main-guarded", "no-helper"}, "main thread, box as the fallback line"},
      {{"segv-thread-guarded"}, "worker thread"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    TestDirectory directory;
    const ChildRun run = RunIn(directory, c.arguments);
    EXPECT_TRUE(run.result.Exited(255)) << run.result.output;
    EXPECT_EQ(run.result.output, "Fatal Error: Unhandled Exception\n");
    ASSERT_EQ(run.files.size(), 1u);
    EXPECT_THAT(run.files[0], testing::MatchesRegex(STARTUP_DUMP_PATTERN));
    const DumpSummary summary = ReadDump(directory.path() + "/" + run.files[0]);
    EXPECT_TRUE(summary.valid);
    EXPECT_EQ(summary.exception_code, static_cast<std::uint32_t>(SIGSEGV));
    ExpectLldbBacktraceShows(directory.path() + "/" + run.files[0], "CrashOnPurpose");
  }
}

TEST(CrashDump, LaterCrashesInOneDirectoryTakeTheNextFreeName) {
  TestDirectory directory;
  for (int i = 0; i < 3; ++i) RunIn(directory, {"segv-main"});
  EXPECT_THAT(directory.Files(),
              testing::ElementsAre("Kestro-42011.dmp", "Kestro-42011_2.dmp", "Kestro-42011_3.dmp"));
}

TEST(CrashDump, TwoThreadsFaultingTogetherLeaveOneDump) {
  TestDirectory directory;
  const ChildRun run = RunIn(directory, {"two-faults"});
  EXPECT_TRUE(run.result.Signalled(SIGSEGV)) << run.result.output;
  EXPECT_THAT(run.files, testing::ElementsAre("Kestro-42011.dmp"));
}

TEST(CrashDump, StackOverflowIsReportedFromTheAlternateStack) {
  TestDirectory directory;
  const ChildRun run = RunIn(directory, {"stack-overflow"});
  EXPECT_TRUE(run.result.Signalled(SIGSEGV)) << run.result.output;
  ASSERT_THAT(run.files, testing::ElementsAre("Kestro-42011.dmp"));
  ExpectLldbBacktraceShows(directory.path() + "/Kestro-42011.dmp", "Recurse");
}

TEST(CrashDump, DumpOnRequestResumesAndIsWrittenOnce) {
  TestDirectory directory;
  const ChildRun run = RunIn(directory, {"dump-now-twice"});
  EXPECT_TRUE(run.result.Exited(0)) << run.result.output;
  EXPECT_EQ(run.result.output, "resumed\n");
  ASSERT_THAT(run.files, testing::ElementsAre("Kestro-42011.dmp"));
  EXPECT_EQ(ReadDump(directory.path() + "/Kestro-42011.dmp").exception_code,
            static_cast<std::uint32_t>(SIGTRAP));
}

TEST(CrashDump, ExitCheckDumpsOnlyWhenExitBypassesTheApplication) {
  struct Case {
    const char* mode;
    int exit_code;
    std::size_t dumps;
  };
  for (const Case& c : {Case{"exit-deep", 3, 1}, Case{"exit-normal", 0, 0}}) {
    SCOPED_TRACE(c.mode);
    TestDirectory directory;
    const ChildRun run = RunIn(directory, {c.mode});
    EXPECT_TRUE(run.result.Exited(c.exit_code)) << run.result.output;
    EXPECT_EQ(run.files.size(), c.dumps);
  }
}

TEST(CrashDump, ConsoleEventLogsDisarmsAndTakesTheDefaultAction) {
  TestDirectory directory;
  const ChildRun run = RunIn(directory, {"console"});
  EXPECT_TRUE(run.result.Signalled(SIGTERM)) << run.result.output;
  EXPECT_EQ(run.result.output, "waiting\nConsole Window event handler called for CtrlType=6\n");
  EXPECT_TRUE(run.files.empty()) << "no exit-check dump";
}

TEST(CrashDump, TerminateIsReportedAsInvalidParameter) {
  TestDirectory directory;
  const ChildRun run = RunIn(directory, {"terminate"});
  EXPECT_TRUE(run.result.Signalled(SIGABRT)) << run.result.output;
  EXPECT_EQ(run.result.output, "Invalid Parameter Handler> function=NULL, file=NULL, line=0\n");
  EXPECT_THAT(run.files, testing::ElementsAre("Kestro-42011.dmp"));
}

TEST(Assertion, FailedAssertionLogsDumpsPrintsStackAndAborts) {
  TestDirectory directory;
  const ChildRun run = RunIn(directory, {"assert"});
  EXPECT_TRUE(run.result.Signalled(SIGABRT)) << run.result.output;
  ASSERT_THAT(run.files, testing::ElementsAre("Kestro-42011.dmp"));
  const std::vector<std::string> lines = Lines(run.result.output);
  ASSERT_GE(lines.size(), 4u) << run.result.output;
  EXPECT_EQ(lines[0], "Assertion failed: argc < 0");
  EXPECT_THAT(lines[1], testing::MatchesRegex("callstack: ([0-9a-f]+ )+"));
  std::string frames;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    EXPECT_THAT(lines[i], testing::MatchesRegex("  .* .* \\[.*:[0-9]+\\]")) << lines[i];
    frames += lines[i] + "\n";
  }
  EXPECT_THAT(frames, testing::HasSubstr(CHILD + " AssertCondition(bool, char const*) ["));
  EXPECT_THAT(frames, testing::ContainsRegex(" main \\[.*crash_testchild.cpp:[0-9]+\\]"));
  ExpectLldbBacktraceShows(directory.path() + "/Kestro-42011.dmp", "AssertCondition");
}

TEST(Assertion, HoldingAssertionIsSilent) {
  TestDirectory directory;
  const ChildRun run = RunIn(directory, {"assert-holds"});
  EXPECT_TRUE(run.result.Exited(0));
  EXPECT_EQ(run.result.output, "");
  EXPECT_TRUE(run.files.empty());
}

}  // namespace

#include <cstdint>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/call_stack.h"
#include "foundation/dump_names.h"

namespace {

TEST(DumpNames, StartupNameCarriesApplicationBuildAndLocalTime) {
  std::tm time{};
  time.tm_year = 2010 - 1900;
  time.tm_mon = 1;
  time.tm_mday = 18;
  time.tm_hour = 14;
  time.tm_min = 5;
  time.tm_sec = 9;
  EXPECT_EQ(FormatStartupDumpName("patcher", "35673", time),
            "patcher-v35673-2010.02.18-14.05.09.dmp");
}

TEST(DumpNames, FilterNamesCountFromTwo) {
  const std::pair<int, const char*> cases[] = {
      {1, "Kestro-42011.dmp"}, {2, "Kestro-42011_2.dmp"}, {10, "Kestro-42011_10.dmp"}};
  for (const auto& [attempt, expected] : cases) {
    RawText name;
    FormatFilterDumpName(attempt, &name);
    EXPECT_STREQ(name.Text(), expected);
  }
}

TEST(CallStack, RawLineStopsOnceItPasses510Characters) {
  std::uintptr_t frames[CALL_STACK_FRAME_LIMIT];
  for (std::uintptr_t& frame : frames) frame = 0x7fffffffffffu;  // "7fffffffffff " is 13 characters
  const std::string text = FormatCallStackAddresses(frames, CALL_STACK_FRAME_LIMIT);
  EXPECT_EQ(text.size(), 511u) << "40 addresses (520 characters) cut to the buffer";
  EXPECT_EQ(text.substr(0, 13), "7fffffffffff ");

  const std::uintptr_t few[] = {0x1, 0xabc};
  EXPECT_EQ(FormatCallStackAddresses(few, 2), "1 abc ");
  EXPECT_EQ(FormatCallStackAddresses(few, 0), "");
}

__attribute__((noinline)) int CaptureHere(std::uintptr_t* frames) {
  const int count = CaptureCallStack(frames, CALL_STACK_FRAME_LIMIT);
  asm volatile("" ::: "memory");  // keeps this frame (no tail call)
  return count;
}

TEST(CallStack, CapturedFramesResolveToFunctionFileAndLine) {
  std::uintptr_t frames[CALL_STACK_FRAME_LIMIT];
  const int count = CaptureHere(frames);
  ASSERT_GE(count, 2);
  const ResolvedFrame inner = ResolveFrame(frames[0], false);
  EXPECT_THAT(inner.function, testing::HasSubstr("CaptureHere"));
  EXPECT_THAT(inner.file, testing::EndsWith("crash_names_test.cpp"));
  EXPECT_GT(inner.line, 0);
  EXPECT_THAT(inner.module, testing::EndsWith("foundation_tests"));
  const ResolvedFrame caller = ResolveFrame(frames[1], true);
  EXPECT_THAT(caller.function, testing::HasSubstr("CapturedFramesResolveToFunctionFileAndLine"));

  const ResolvedFrame nowhere = ResolveFrame(0x10, false);
  EXPECT_EQ(nowhere.function, "");
  EXPECT_EQ(nowhere.line, 0);
}

}  // namespace

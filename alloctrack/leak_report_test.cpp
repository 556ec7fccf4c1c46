#include "alloctrack/leak_report.h"

#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

constexpr std::uintptr_t OPERATOR = 0x1000;  // the tracker's own frame

AllocationRecord Record(std::uint64_t size, std::uint32_t thread,
                        std::vector<std::uintptr_t> frames) {
  AllocationRecord record{};
  record.size = size;
  record.thread_id = thread;
  record.frame_count = static_cast<std::uint16_t>(frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) record.frames[i] = frames[i];
  return record;
}

// Addresses 0x2000 + n resolve to a.cpp line n; 0x3000 has only a module,
// 0x4000 nothing at all.
class FakeResolver {
 public:
  ResolvedFrame operator()(std::uintptr_t address) {
    ++m_calls[address];
    ResolvedFrame frame;
    if (address >= 0x2000 && address < 0x3000) {
      frame.file = "a.cpp";
      frame.line = static_cast<int>(address - 0x2000);
    } else if (address == 0x3000) {
      frame.module = "/lib/libx.so";
    }
    return frame;
  }
  std::map<std::uintptr_t, int> m_calls;
};

TEST(LeakReport, GroupsInKeyOrderWithTheirCallers) {
  const std::vector<AllocationRecord> records = {
      Record(16, 7, {OPERATOR, 0x2000 + 11, 0x2000 + 40}),
      Record(5'000'000'000ull, 7, {OPERATOR, 0x2000 + 12}),
      Record(32, 7, {OPERATOR}),
      Record(16, 7, {OPERATOR, 0x2000 + 11, 0x2000 + 40}),
      Record(8, 9, {OPERATOR, 0x3000, 0x4000}),
      Record(16, 6, {OPERATOR, 0x2000 + 11, 0x2000 + 40}),
  };
  FakeResolver fake;
  const std::vector<std::string> report =
      BuildLeakReport(records, [&fake](std::uintptr_t address) { return fake(address); });
  EXPECT_THAT(report,
              testing::ElementsAre(
                  LEAK_REPORT_BANNER_BEGIN,
                  "/lib/libx.so(0): 1 memory block of size 8 was never freed (thread id 9).\n",
                  "0x4000(0): Called from.\n", "\n",
                  "a.cpp(11): 1 memory block of size 16 was never freed (thread id 6).\n",
                  "a.cpp(40): Called from.\n", "\n",
                  "a.cpp(11): 2 memory blocks of size 16 were never freed (thread id 7).\n",
                  "a.cpp(40): Called from.\n", "\n",
                  "Unknown location: 1 memory blocks of size 32 were never freed.\n\n",
                  "a.cpp(12): 1 memory block of size 5000000000 was never freed (thread id "
                  "7).\n",
                  "\n", "\n\nA total of 6 leaks at 5 locations.\n", LEAK_REPORT_BANNER_END));
  for (const auto& [address, calls] : fake.m_calls) EXPECT_EQ(calls, 1) << std::hex << address;
  EXPECT_EQ(fake.m_calls.count(OPERATOR), 0u) << "the tracker's own frame is never named";
}

TEST(LeakReport, NothingAliveGivesTheBannersAroundZeroLeaks) {
  FakeResolver fake;
  EXPECT_THAT(
      BuildLeakReport({}, [&fake](std::uintptr_t address) { return fake(address); }),
      testing::ElementsAre(LEAK_REPORT_BANNER_BEGIN, "\n\nA total of 0 leaks at 0 locations.\n",
                           LEAK_REPORT_BANNER_END));
}

// Stacks where one is the beginning of another, from different threads:
// ordering by thread before length would make these three a cycle, and
// equal records could land in separate groups.
TEST(LeakReport, GroupOrderIsAStrictWeakOrder) {
  const std::vector<AllocationRecord> keys = {
      Record(16, 2, {OPERATOR, 5}),    Record(16, 1, {OPERATOR, 5, 3}),
      Record(16, 3, {OPERATOR, 5, 1}), Record(16, 2, {OPERATOR, 5}),
      Record(16, 1, {OPERATOR}),       Record(8, 9, {OPERATOR, 5, 3}),
      Record(16, 1, {OPERATOR, 4, 9}),
  };
  const AllocationGroupLess less;
  for (const AllocationRecord& a : keys) {
    EXPECT_FALSE(less(a, a));
    for (const AllocationRecord& b : keys) {
      EXPECT_FALSE(less(a, b) && less(b, a));
      for (const AllocationRecord& c : keys) {
        EXPECT_FALSE(less(a, b) && less(b, c) && !less(a, c)) << "order not transitive";
        const bool ab = !less(a, b) && !less(b, a);
        const bool bc = !less(b, c) && !less(c, b);
        const bool ac = !less(a, c) && !less(c, a);
        EXPECT_FALSE(ab && bc && !ac) << "equivalence not transitive";
      }
    }
  }
  FakeResolver fake;
  const std::vector<std::string> report =
      BuildLeakReport(keys, [&fake](std::uintptr_t address) { return fake(address); });
  EXPECT_EQ(report[report.size() - 2], "\n\nA total of 7 leaks at 6 locations.\n");
}

TEST(LeakReport, UnknownBlockNamesTheReleasingLine) {
  FakeResolver fake;
  auto resolve = [&fake](std::uintptr_t address) { return fake(address); };
  void* block = reinterpret_cast<void*>(0x5678);
  const std::uintptr_t frames[] = {OPERATOR, 0x2000 + 33, 0x2000 + 50};
  EXPECT_EQ(UnknownBlockLine(block, frames, 3, resolve),
            "a.cpp(33): unknown memory block starting at 0x5678 freed.\n");
  EXPECT_EQ(UnknownBlockLine(block, frames, 1, resolve),
            "Unknown location: Unknown memory block starting at 0x5678 freed.\n");
}

}  // namespace

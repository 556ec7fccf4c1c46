#include "repair/file_tree_summary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/paths.h"
#include "foundation/utf.h"
#include "kit/data_buffer_memory_dynamic.h"
#include "kit/data_buffer_memory_static.h"
#include "kit/scratch_area.h"
#include "repair/repair_test_support.h"
#include "repair/segment_checksum.h"
#include "repair/segment_key.h"

using RepairTest::ChecksumOf;
using RepairTest::CountingSummary;
using RepairTest::WriteFileAt;

namespace {

std::string Le(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

std::string EntryBytes(const std::u16string& key, std::uint32_t checksum, std::uint64_t time) {
  return Le(key.size(), 4) + Utf16ToLeBytes(key) + Le(checksum, 4) + Le(time, 8);
}

BramResult LoadFrom(FileTreeSummary& summary, const std::string& bytes) {
  auto buffer = BramDataBufferMemoryStatic::CopyOf(bytes);
  return summary.LoadSummary(*buffer);
}

std::string SaveToString(FileTreeSummary& summary) {
  BramDataBufferMemoryDynamic buffer;
  EXPECT_EQ(summary.SaveSummary(buffer), BRAMRESULT_OK);
  return std::string(reinterpret_cast<const char*>(buffer.GetData()), buffer.GetSize());
}

}  // namespace

TEST(FileTreeSummaryFormat, LayoutIsLittleEndianUtf16InCodeUnitOrder) {
  // U+1F600 is a surrogate pair (0xD83D ...) and sorts before U+FFFD in
  // code-unit order, although its UTF-8 form sorts after.
  const std::u16string smiley = u"a\U0001F600#000";
  const std::u16string replacement = u"a\uFFFD#000";
  const std::string file = "0stf" + Le(2, 4) +
                           EntryBytes(replacement, 0x11223344, 0x0000000100000002) +
                           EntryBytes(smiley, 7, 5);
  FileTreeSummary summary;
  ASSERT_EQ(LoadFrom(summary, file), BRAMRESULT_OK);
  const std::vector<SummaryRecord> entries = summary.GetEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].key, Utf16ToUtf8(smiley));
  EXPECT_EQ(entries[1].entry.checksum, 0x11223344u);
  EXPECT_EQ(entries[1].entry.time, 0x0000000100000002);
  EXPECT_FALSE(entries[0].entry.seen);

  const std::string expected = "0stf" + Le(2, 4) + EntryBytes(smiley, 7, 5) +
                               EntryBytes(replacement, 0x11223344, 0x0000000100000002);
  EXPECT_EQ(SaveToString(summary), expected);
}

TEST(FileTreeSummaryFormat, BadMagicLeavesTheSummaryEmpty) {
  FileTreeSummary summary;
  ASSERT_EQ(LoadFrom(summary, "0stf" + Le(1, 4) + EntryBytes(u"x#000", 9, 9)), BRAMRESULT_OK);
  EXPECT_EQ(LoadFrom(summary, "ftS0" + Le(0, 4)), BRAMRESULT_BAD_FORMAT);
  EXPECT_EQ(summary.GetEntryCount(), 0u);
}

TEST(FileTreeSummaryFormat, ClaimsBeyondTheLimitsAreRefusedWithoutAllocating) {
  FileTreeSummary summary;
  EXPECT_EQ(LoadFrom(summary, "0stf" + Le(SUMMARY_MAX_ENTRIES + 1u, 4)), BRAMRESULT_BAD_FORMAT);
  EXPECT_EQ(summary.GetEntryCount(), 0u);
  const std::string good = EntryBytes(u"ok#000", 1, 1);
  for (const std::uint32_t length : {0u, SUMMARY_MAX_KEY_LENGTH + 1, 0xFFFFFFFFu}) {
    EXPECT_EQ(LoadFrom(summary, "0stf" + Le(2, 4) + good + Le(length, 4)), BRAMRESULT_BAD_FORMAT)
        << length;
    EXPECT_EQ(summary.GetEntryCount(), 1u);  // the entry before the bad one stays
  }
}

TEST(FileTreeSummaryFormat, TruncatedAtEveryLengthFailsCleanly) {
  const std::string file =
      "0stf" + Le(2, 4) + EntryBytes(u"a#000", 3, 4) + EntryBytes(u"b\\c#001", 5, 6);
  for (std::size_t cut = 0; cut < file.size(); ++cut) {
    FileTreeSummary summary;
    EXPECT_NE(LoadFrom(summary, file.substr(0, cut)), BRAMRESULT_OK) << cut;
    EXPECT_LE(summary.GetEntryCount(), 1u) << cut;
  }
}

TEST(FileTreeSummarySegments, NonZeroChecksumRefreshesTheOtherSegmentsTimes) {
  ScopedTempDir dir;
  WriteFileAt(dir.Sub("bin/x.dll"), "content");
  FileTreeSummary summary;
  ASSERT_EQ(LoadFrom(summary, "0stf" + Le(4, 4) + EntryBytes(u"bin\\x.dll#000", 10, 1) +
                                  EntryBytes(u"bin\\x.dll#001", 11, 1) +
                                  EntryBytes(u"bin\\x.dll#002", 12, 1) +
                                  EntryBytes(u"bin\\y.dll#000", 13, 1)),
            BRAMRESULT_OK);
  const std::string full_key = MakeSegmentKey(dir.Sub("bin\\x.dll"), 1);
  ASSERT_TRUE(summary.RegisterSegment(full_key, "bin\\x.dll#001", 0xABCD));

  std::int64_t now = 0;
  ASSERT_EQ(QueryFileTime(dir.Sub("bin/x.dll"), &now), BRAMRESULT_OK);
  const std::pair<const char*, std::uint32_t> expected[] = {
      {"bin\\x.dll#000", 10}, {"bin\\x.dll#001", 0xABCD}, {"bin\\x.dll#002", 12}};
  for (const auto& [key, checksum] : expected) {
    SummaryEntry entry;
    ASSERT_TRUE(summary.FindEntry(key, &entry)) << key;
    EXPECT_EQ(entry.checksum, checksum) << key;
    EXPECT_EQ(entry.time, now) << key;
  }
  SummaryEntry other;
  ASSERT_TRUE(summary.FindEntry("bin\\y.dll#000", &other));
  EXPECT_EQ(other.time, 1);

  // A file whose time cannot be read changes nothing.
  EXPECT_FALSE(summary.RegisterSegment(MakeSegmentKey(dir.Sub("gone"), 0), "gone#000", 5));
  EXPECT_EQ(summary.GetEntryCount(), 4u);
}

TEST(FileTreeSummarySegments, EraseFollowingStopsAtTheFirstGap) {
  FileTreeSummary summary;
  ASSERT_EQ(LoadFrom(summary, "0stf" + Le(5, 4) + EntryBytes(u"f#000", 1, 1) +
                                  EntryBytes(u"f#001", 1, 1) + EntryBytes(u"f#002", 1, 1) +
                                  EntryBytes(u"f#004", 1, 1) + EntryBytes(u"g#001", 1, 1)),
            BRAMRESULT_OK);
  summary.EraseFollowingSegments("f#000");
  std::vector<std::string> keys;
  for (const SummaryRecord& record : summary.GetEntries()) keys.push_back(record.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"f#000", "f#004", "g#001"}));
  summary.EraseSegment("f#004");
  summary.EraseSegment("absent#000");
  EXPECT_EQ(summary.GetEntryCount(), 2u);
}

TEST(FileTreeSummarySegments, SegmentsBeyondFourGibibytes) {
  ScopedTempDir dir;
  const std::string path = dir.Sub("huge.bin");
  const std::uint64_t tail_offset = 5ull << 30;  // 5 GiB, index 1280
  {
    WriteFileAt(path, "");
    std::filesystem::resize_file(path, tail_offset);
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << "tail-bytes";
  }
  std::uint8_t* bytes = GetScratchArea(ScratchSlot::CHECKSUM, SEGMENT_SIZE);
  std::uint32_t length = 0;
  ASSERT_TRUE(ReadSegmentFromFile(MakeSegmentKey(path, 1280), bytes, &length));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), length), "tail-bytes");
  EXPECT_FALSE(ReadSegmentFromFile(MakeSegmentKey(path, 1281), bytes, &length));

  // Every segment is registered; the reads are counted, not made.
  CountingSummary summary;
  summary.m_failing = true;
  ASSERT_TRUE(summary.RegisterFile(path, "huge.bin"));
  EXPECT_EQ(summary.GetEntryCount(), 1281u);
  EXPECT_EQ(summary.m_reads, 1281);
  EXPECT_EQ(ChecksumOf(summary, "huge.bin#1280"), 0u);
}

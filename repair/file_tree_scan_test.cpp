#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "repair/file_tree_summary.h"
#include "repair/repair_test_support.h"
#include "repair/segment_checksum.h"
#include "repair/segment_key.h"

using RepairTest::ChecksumOf;
using RepairTest::CountingSummary;
using RepairTest::ShiftFileTime;
using RepairTest::WriteFileAt;

namespace {

std::set<std::string> Keys(FileTreeSummary& summary) {
  std::set<std::string> keys;
  for (const SummaryRecord& record : summary.GetEntries()) keys.insert(record.key);
  return keys;
}

}  // namespace

TEST(FileTreeScan, SegmentsFollowTheFileSize) {
  struct Case {
    std::uint64_t size;
    std::set<std::string> keys;
  };
  const Case cases[] = {
      {0, {}},
      {1, {"f#000"}},
      {SEGMENT_SIZE, {"f#000"}},
      {SEGMENT_SIZE + 1, {"f#000", "f#001"}},
      {2 * SEGMENT_SIZE + 7, {"f#000", "f#001", "f#002"}},
  };
  for (const Case& c : cases) {
    ScopedTempDir dir;
    WriteFileAt(dir.Sub("f"), std::string(c.size, 'x'));
    FileTreeSummary summary;
    ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
    EXPECT_EQ(Keys(summary), c.keys) << c.size;
  }
  ScopedTempDir dir;
  WriteFileAt(dir.Sub("f"), std::string(SEGMENT_SIZE, 'x') + "y");
  FileTreeSummary summary;
  ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
  EXPECT_EQ(ChecksumOf(summary, "f#001"), ChecksumSegmentBytes("y", 1));
}

TEST(FileTreeScan, DeletedAndShrunkFilesLoseTheirEntries) {
  ScopedTempDir dir;
  WriteFileAt(dir.Sub("keep.txt"), "keep");
  WriteFileAt(dir.Sub("sub/deep/gone.txt"), "gone");
  WriteFileAt(dir.Sub("sub/big.bin"), std::string(3 * SEGMENT_SIZE, 'b'));
  FileTreeSummary summary;
  ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
  EXPECT_EQ(Keys(summary),
            (std::set<std::string>{"keep.txt#000", "sub\\big.bin#000", "sub\\big.bin#001",
                                   "sub\\big.bin#002", "sub\\deep\\gone.txt#000"}));

  std::filesystem::remove(dir.Sub("sub/deep/gone.txt"));
  std::filesystem::resize_file(dir.Sub("sub/big.bin"), SEGMENT_SIZE + 10);
  ShiftFileTime(dir.Sub("sub/big.bin"), 10);  // a second scan within the same second
  ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
  EXPECT_EQ(Keys(summary),
            (std::set<std::string>{"keep.txt#000", "sub\\big.bin#000", "sub\\big.bin#001"}));
  EXPECT_EQ(ChecksumOf(summary, "sub\\big.bin#001"),
            ChecksumSegmentBytes(std::string(10, 'b').data(), 10));
}

TEST(FileTreeScan, TouchedFileIsReadOnceThenNotAgain) {
  ScopedTempDir dir;
  WriteFileAt(dir.Sub("a.bin"), std::string(SEGMENT_SIZE + 5, 'a'));
  WriteFileAt(dir.Sub("b.bin"), "bee");
  CountingSummary summary;
  ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
  EXPECT_EQ(summary.m_reads, 3);

  ShiftFileTime(dir.Sub("a.bin"), 10);  // same bytes, new time
  summary.m_reads = 0;
  ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
  EXPECT_EQ(summary.m_reads, 2);
  summary.m_reads = 0;
  ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
  EXPECT_EQ(summary.m_reads, 0);
  EXPECT_EQ(summary.GetEntryCount(), 3u);
}

TEST(FileTreeScan, UnreadableSegmentIsReadAgainNextScan) {
  ScopedTempDir dir;
  WriteFileAt(dir.Sub("a.bin"), "data");
  CountingSummary summary;
  summary.m_failing = true;
  ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
  EXPECT_EQ(ChecksumOf(summary, "a.bin#000"), 0u);  // listed, as "unreadable here"
  summary.m_failing = false;
  ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
  EXPECT_EQ(ChecksumOf(summary, "a.bin#000"), ChecksumSegmentBytes("data", 4));
}

TEST(FileTreeScan, ExclusionPatterns) {
  ScopedTempDir dir;
  for (const char* file : {"repair.cks", "unins000.exe", "a.log", "dir/b.log", "a.txt",
                           "dir/unins000.exe", "a.log.txt"}) {
    WriteFileAt(dir.Sub(file), "x");
  }
  FileTreeSummary summary;
  ASSERT_EQ(summary.RegisterTree(dir.path(), {"repair.cks", "unins000.exe", "*.log"}),
            BRAMRESULT_OK);
  EXPECT_EQ(Keys(summary),
            (std::set<std::string>{"a.txt#000", "a.log.txt#000", "dir\\unins000.exe#000"}));
}

TEST(FileTreeScan, PatternMatching) {
  struct Case {
    const char* pattern;
    const char* path;
    bool matches;
  };
  const Case cases[] = {
      {"*", "", true},
      {"*", "a\\b", true},
      {"a*", "a", true},
      {"*.log", "dir\\b.log", true},
      {"*.log", "b.log.x", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "acb", false},
      {"A.txt", "a.txt", false},
      {"x", "xx", false},
      {"", "", true},
      {"**a", "ba", true},
      {"bin\\*.dll", "bin\\x.dll", true},
      {"bin\\*.dll", "lib\\x.dll", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesExclusionPattern(c.path, c.pattern), c.matches)
        << c.pattern << " / " << c.path;
  }
}

TEST(FileTreeScan, LinksAreNeitherFollowedNorListed) {
  ScopedTempDir dir;
  ScopedTempDir outside;
  WriteFileAt(dir.Sub("real/file.txt"), "real");
  WriteFileAt(outside.Sub("secret.txt"), "secret");
  std::filesystem::create_directory_symlink(dir.path(), dir.Sub("real/loop"));
  std::filesystem::create_directory_symlink(outside.path(), dir.Sub("out"));
  std::filesystem::create_symlink(dir.Sub("real/file.txt"), dir.Sub("alias.txt"));
  FileTreeSummary summary;
  ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
  EXPECT_EQ(Keys(summary), (std::set<std::string>{"real\\file.txt#000"}));
}

TEST(FileTreeScan, StoppedScanKeepsItsEntries) {
  ScopedTempDir dir;
  WriteFileAt(dir.Sub("a.txt"), "a");
  FileTreeSummary summary;
  ASSERT_EQ(summary.RegisterTree(dir.path(), {}), BRAMRESULT_OK);
  std::filesystem::remove(dir.Sub("a.txt"));
  EXPECT_EQ(summary.RegisterTree(dir.path(), {}, [] { return false; }), BRAMRESULT_ABORTED);
  EXPECT_EQ(summary.GetEntryCount(), 1u);
}

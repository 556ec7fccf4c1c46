#include "repair/segment_key.h"

#include <gtest/gtest.h>

#include <string>

#include "repair/segment_checksum.h"

TEST(SegmentChecksum, KnownValues) {
  EXPECT_EQ(ChecksumSegmentBytes("123456789", 9), 0x89A1897Fu);
  EXPECT_EQ(ChecksumSegmentBytes("abc", 3), 0x2C17398Cu);
  EXPECT_EQ(ChecksumSegmentBytes("", 0), 1u);
  const std::string zeros(SEGMENT_SIZE, '\0');
  EXPECT_EQ(ChecksumSegmentBytes(zeros.data(), zeros.size()), 1u);
}

TEST(SegmentChecksum, ContinuesAcrossPieces) {
  const std::string text = "The quick brown fox jumps over the lazy dog";
  const std::uint32_t whole = SegmentCrcUpdate(0, text.data(), text.size());
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    const std::uint32_t first = SegmentCrcUpdate(0, text.data(), cut);
    EXPECT_EQ(SegmentCrcUpdate(first, text.data() + cut, text.size() - cut), whole) << cut;
  }
}

TEST(SegmentKey, MakeAndSplit) {
  struct Case {
    std::string path;
    std::uint64_t index;
    std::string key;
  };
  const Case cases[] = {
      {"bin\\x.dll", 0, "bin\\x.dll#000"},
      {"bin\\x.dll", 7, "bin\\x.dll#007"},
      {"bin\\x.dll", 1000, "bin\\x.dll#1000"},
      {"a#b.txt", 12, "a#b.txt#012"},  // '#' in a file name stays in the path
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MakeSegmentKey(c.path, c.index), c.key);
    EXPECT_EQ(SegmentKeyPath(c.key), c.path) << c.key;
    EXPECT_EQ(SegmentKeyIndex(c.key), c.index) << c.key;
    EXPECT_TRUE(IsCanonicalSegmentKey(c.key)) << c.key;
  }
}

TEST(SegmentKey, IrregularKeys) {
  struct Case {
    std::string key;
    std::string path;
    std::uint32_t index;
  };
  const Case cases[] = {
      {"plain.txt", "plain.txt", 0},       // no '#': the whole key is the path
      {"x#", "x", 0},                      // no digits
      {"x#12a", "x", 0},                   // not a plain number
      {"x#-1", "x", 0},                    //
      {"x#4294967296", "x", 0},            // beyond 32 bits
      {"x#4294967295", "x", 4294967295u},  //
      {"x#1", "x", 1},                     // short form: readable, not canonical
      {"#000", "", 0},                     // empty path
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SegmentKeyPath(c.key), c.path) << c.key;
    EXPECT_EQ(SegmentKeyIndex(c.key), c.index) << c.key;
  }
  for (const char* key : {"plain.txt", "x#", "x#12a", "x#1", "x#0001", "#000", "x#4294967296"}) {
    EXPECT_FALSE(IsCanonicalSegmentKey(key)) << key;
  }
}

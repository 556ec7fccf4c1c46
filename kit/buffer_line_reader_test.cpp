#include "kit/buffer_line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/data_buffer_file.h"
#include "kit/data_buffer_memory_static.h"
#include "kit/kit_test_support.h"

namespace {

struct Line {
  std::string text;
  BramResult end_of_data;
  bool operator==(const Line& other) const {
    return text == other.text && end_of_data == other.end_of_data;
  }
};

std::ostream& operator<<(std::ostream& out, const Line& line) {
  return out << '"' << line.text << "\"/" << line.end_of_data;
}

// Reads lines the way callers do: until the end-of-data code is set.
std::vector<Line> ReadLines(BramDataBuffer& buffer) {
  BufferLineReader reader(buffer);
  std::vector<Line> lines;
  std::string line;
  for (int guard = 0; guard < 100000; ++guard) {
    reader.ReadLine(&line);
    lines.push_back({line, reader.GetEndOfData()});
    if (reader.GetEndOfData() != BRAMRESULT_OK) break;
  }
  return lines;
}

TEST(BufferLineReader, SplitsAtEveryTerminatorForm) {
  constexpr BramResult END = BRAMRESULT_END_OF_DATA;
  const struct {
    std::string input;
    std::vector<Line> lines;
  } cases[] = {
      {"a\r\nb\n\nc", {{"a", 0}, {"b", 0}, {"", 0}, {"c", END}}},
      {"a\n\rb\r\rc\r\n", {{"a", 0}, {"b", 0}, {"", 0}, {"c", 0}, {"", END}}},
      {"one\r", {{"one", 0}, {"", END}}},
      {"", {{"", END}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input));
    auto buffer = BramDataBufferMemoryStatic::CopyOf(c.input);
    EXPECT_EQ(ReadLines(*buffer), c.lines);
  }
}

TEST(BufferLineReader, LookAheadFailureIsReturnedWithoutEndOfData) {
  auto buffer = BramDataBufferMemoryStatic::CopyOf(std::string("last\n"));
  BufferLineReader reader(*buffer);
  std::string line;
  EXPECT_EQ(reader.ReadLine(&line), BRAMRESULT_END_OF_DATA);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(reader.GetEndOfData(), BRAMRESULT_OK);
  EXPECT_EQ(reader.ReadLine(&line), BRAMRESULT_END_OF_DATA);
  EXPECT_EQ(line, "");
  EXPECT_EQ(reader.GetEndOfData(), BRAMRESULT_END_OF_DATA);
}

TEST(BufferLineReader, FileEndIsTheFileBufferShortReadCode) {
  KitTempDir dir;
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + (i % 2 ? "\r\n" : "\n");
  text += "tail";
  WriteWholeFile(dir.Sub("t.txt"), text);
  BramDataBufferFile file(dir.Sub("t.txt"), BRAMFILE_MODE_READ);
  const std::vector<Line> lines = ReadLines(file);
  ASSERT_EQ(lines.size(), 3001u);
  EXPECT_EQ(lines[2999], (Line{"line 2999", 0}));
  EXPECT_EQ(lines[3000], (Line{"tail", BRAMRESULT_IO_FAILURE}));
}

}  // namespace

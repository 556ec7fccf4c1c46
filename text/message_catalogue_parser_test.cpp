#include "text/message_catalogue_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<CatalogueEntry> ParseGood(std::string_view content) {
  std::vector<CatalogueEntry> entries;
  std::string error;
  EXPECT_TRUE(ParseMessageCatalogue(content, "messages.tsv", entries, error)) << error;
  return entries;
}

TEST(MessageCatalogueParser, ReadsEntriesEscapesCommentsAndBlankLines) {
  const std::vector<CatalogueEntry> entries = ParseGood(
      "\xEF\xBB\xBF# comment\n"
      "\n"
      "121\t9\t to \n"
      "   \n"
      "121\t1031\tA\\nB\\tC\\\\D\n"
      "# 121\t1036\tnot an entry\n"
      "0131\t1049\t\xD0\x94\xF0\x9F\x98\x80\n"
      "131\t9\t#not a comment");  // last line without a line feed
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].id, 121);
  EXPECT_EQ(entries[0].language, 9);
  EXPECT_EQ(entries[0].text, " to ");
  EXPECT_EQ(entries[0].line, 3);
  EXPECT_EQ(entries[1].text, "A\nB\tC\\D");
  EXPECT_EQ(entries[1].units, u"A\nB\tC\\D");
  EXPECT_EQ(entries[1].line, 5);
  EXPECT_EQ(entries[2].id, 131);
  EXPECT_EQ(entries[2].language, 1049);
  EXPECT_EQ(entries[2].units, u"\u0414\U0001F600");
  EXPECT_EQ(entries[3].text, "#not a comment");
}

TEST(MessageCatalogueParser, LengthLimitCountsUtf16Units) {
  EXPECT_EQ(ParseGood("1\t9\t" + std::string(255, 'x') + "\n").at(0).units.size(), 255u);
  std::string pairs;
  for (int i = 0; i < 127; ++i) pairs += "\xF0\x9F\x98\x80";
  EXPECT_EQ(ParseGood("1\t9\tx" + pairs + "\n").at(0).units.size(), 255u);

  std::vector<CatalogueEntry> entries;
  std::string error;
  EXPECT_FALSE(ParseMessageCatalogue("1\t9\txx" + pairs + "\n", "messages.tsv", entries, error));
  EXPECT_EQ(error, "messages.tsv:1: text has 256 UTF-16 units, at most 255 fit");
}

struct BadCase {
  const char* content;
  const char* error;
};

const BadCase CATALOGUE_BAD[] = {
    {"121 9 text\n", "messages.tsv:1: expected id TAB language TAB text"},
    {"# c\n121\t9\n", "messages.tsv:2: expected id TAB language TAB text"},
    {"x121\t9\ttext\n", "messages.tsv:1: id \"x121\" is not a decimal number"},
    {"-1\t9\ttext\n", "messages.tsv:1: id \"-1\" is not a decimal number"},
    {" 121\t9\ttext\n", "messages.tsv:1: id \" 121\" is not a decimal number"},
    {"\t9\ttext\n", "messages.tsv:1: id \"\" is not a decimal number"},
    {"65536\t9\ttext\n", "messages.tsv:1: id 65536 is above 65535"},
    {"121\t\ttext\n", "messages.tsv:1: language \"\" is not a decimal number"},
    {"121\t1033\ttext\n", "messages.tsv:1: language 1033 is not one of 9, 1031, 1036, 1049"},
    {"121\t0\ttext\n", "messages.tsv:1: language 0 is not one of 9, 1031, 1036, 1049"},
    {"121\t9\t\n", "messages.tsv:1: empty text (leave the line out for an absent entry)"},
    {"121\t9\ta\tb\n", "messages.tsv:1: tab inside the text (write \\t)"},
    {"121\t9\ttext\r\n", "messages.tsv:1: carriage return (the file must have LF line ends)"},
    {"121\t9\ta\x01"
     "b\n",
     "messages.tsv:1: control character 0x01 in the text"},
    {"121\t9\ta\\rb\n", "messages.tsv:1: unknown escape \\r (only \\n, \\t and \\\\)"},
    {"121\t9\tab\\\n", "messages.tsv:1: backslash at the end of the text (write \\\\)"},
    {"121\t9\ta\xFF"
     "b\n",
     "messages.tsv:1: malformed UTF-8 (byte 0xFF)"},
    {"121\t9\ta\xC3\n", "messages.tsv:1: malformed UTF-8 (truncated sequence)"},
    {"121\t9\ta\xC3z\n", "messages.tsv:1: malformed UTF-8 (byte 0x7A)"},
    {"121\t9\t\xC0\xAF\n", "messages.tsv:1: malformed UTF-8 (byte 0xC0)"},
    {"121\t9\t\xE0\x80\xAF\n",
     "messages.tsv:1: malformed UTF-8 (overlong form, surrogate or value above U+10FFFF)"},
    {"121\t9\t\xED\xA0\x80\n",
     "messages.tsv:1: malformed UTF-8 (overlong form, surrogate or value above U+10FFFF)"},
    {"121\t9\t\xF4\x90\x80\x80\n",
     "messages.tsv:1: malformed UTF-8 (overlong form, surrogate or value above U+10FFFF)"},
    {"121\t9\tone\n\n121\t9\ttwo\n",
     "messages.tsv:3: second entry for id 121, language 9 (first on line 1)"},
    {"121\t9\tone\n0121\t9\ttwo\n",
     "messages.tsv:2: second entry for id 121, language 9 (first on line 1)"},
    {"121\t9\tone\n122\t1036\tdeux\n", "messages.tsv:2: id 122 has no English (language 9) entry"},
};

TEST(MessageCatalogueParser, RejectsMalformedLinesWithTheirLineNumber) {
  for (const BadCase& c : CATALOGUE_BAD) {
    SCOPED_TRACE(c.content);
    std::vector<CatalogueEntry> entries;
    std::string error;
    EXPECT_FALSE(ParseMessageCatalogue(c.content, "messages.tsv", entries, error));
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace

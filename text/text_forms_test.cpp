#include "text/text_forms.h"

#include <gtest/gtest.h>

namespace {

struct UnitCase {
  char16_t wide;
  unsigned char narrow;
};

// Every code unit that the narrow form keeps or maps; all others become '?'.
constexpr UnitCase TEXTFORMS_KEPT[] = {
    {u'\t', '\t'},  {u'\n', '\n'},  {u'\r', '\r'},  {u' ', ' '},    {u'A', 'A'},    {u'~', '~'},
    {0x7F, 0x7F},   {0xAB, 0xAB},   {0xB0, 0xB0},   {0xBB, 0xBB},   {0x2013, 0x96}, {0x2018, 0x91},
    {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2026, 0x85},
};

constexpr char16_t TEXTFORMS_LOST[] = {
    0x0000, 0x0001, 0x0008, 0x000B, 0x000C, 0x001F, 0x0080, 0x0085, 0x0091, 0x0096,
    0x00A0, 0x00AA, 0x00AC, 0x00B1, 0x00BA, 0x00E9, 0x00FF, 0x0100, 0x0414, 0x2012,
    0x2014, 0x201A, 0x201E, 0x2022, 0x20AC, 0xD83D, 0xDE00, 0xFEFF, 0xFFFD, 0xFFFF,
};

TEST(TextForms, WideToNarrowKeepsAndMapsTheListedUnits) {
  for (const UnitCase& c : TEXTFORMS_KEPT) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(c.wide));
    EXPECT_EQ(WideToNarrow(std::u16string(1, c.wide)), std::string(1, static_cast<char>(c.narrow)));
  }
}

TEST(TextForms, WideToNarrowTurnsEveryOtherUnitIntoQuestionMark) {
  for (char16_t unit : TEXTFORMS_LOST) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(unit));
    EXPECT_EQ(WideToNarrow(std::u16string(1, unit)), "?");
  }
  // One byte per code unit, so a surrogate pair gives two.
  EXPECT_EQ(WideToNarrow(u"a\U0001F600b"), "a??b");
  EXPECT_EQ(WideToNarrow(std::u16string(u"x\0y", 3)), "x?y");
}

TEST(TextForms, NarrowToWideMapsEveryByte) {
  for (unsigned byte = 0; byte < 256; ++byte) {
    char16_t expected = static_cast<char16_t>(byte);
    for (const UnitCase& c : TEXTFORMS_KEPT) {
      if (c.narrow == byte) expected = c.wide;
    }
    SCOPED_TRACE(byte);
    EXPECT_EQ(NarrowToWide(std::string(1, static_cast<char>(byte))), std::u16string(1, expected));
  }
  EXPECT_EQ(NarrowToWide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(TextForms, Utf8FormsGoThroughUtf16) {
  EXPECT_EQ(Utf8ToNarrow("Grüße «100°» – “ok” …"),
            "Gr??e \xAB"
            "100\xB0\xBB \x96 \x93ok\x94 \x85");
  EXPECT_EQ(Utf8ToNarrow("\xF0\x9F\x98\x80"), "??");  // U+1F600 is two units
  EXPECT_EQ(Utf8ToNarrow("a\xFFz"), "a?z");           // malformed UTF-8
  EXPECT_EQ(NarrowToUtf8("\x93"
                         "C:\\x\x94 \x85 \xE9"),
            "“C:\\x” … é");
  EXPECT_EQ(NarrowToUtf8("\x80\x81"), "\xC2\x80\xC2\x81");
}

}  // namespace

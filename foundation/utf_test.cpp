#include "foundation/utf.h"

#include <gtest/gtest.h>

namespace {

struct Utf8Case {
  std::string utf8;
  std::u16string utf16;
};

TEST(Utf, Utf8ToUtf16DecodesAndReplacesIllFormedSequences) {
  const Utf8Case cases[] = {
      {"", u""},
      {"A~\x7F", u"A~\x7F"},
      {"\xC3\xA9", u"\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xEF\xBF\xBD", u"\uFFFD"},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      // Stray continuation, invalid leads.
      {"\x80", u"\uFFFD"},
      {"\xFF"
       "A",
       u"\uFFFD"
       "A"},
      // Overlong forms: C0/C1 never lead; E0 and F0 need a high second byte.
      {"\xC0\x80", u"\uFFFD\uFFFD"},
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"\xF0\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      // Encoded surrogates and values above U+10FFFF.
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      // A truncated sequence is one replacement and does not swallow what follows.
      {"\xE2\x82", u"\uFFFD"},
      {"\xE2\x82"
       "A",
       u"\uFFFD"
       "A"},
      {"\xF0\x9F\x98"
       "\xC3\xA9",
       u"\uFFFD\u00E9"},
  };
  for (const Utf8Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << "input bytes: " << testing::PrintToString(c.utf8);
  }
}

TEST(Utf, Utf16ToUtf8ReplacesLoneSurrogates) {
  const Utf8Case cases[] = {
      {"", u""},
      {"A\xC3\xA9\xE2\x82\xAC", u"A\u00E9\u20AC"},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"\xEF\xBF\xBD", std::u16string(1, char16_t(0xD83D))},
      {"\xEF\xBF\xBD"
       "A",
       std::u16string{char16_t(0xD83D), u'A'}},
      {"\xEF\xBF\xBD", std::u16string(1, char16_t(0xDE00))},
      {"\xEF\xBF\xBD\xF0\x9F\x98\x80",
       std::u16string{char16_t(0xDE00), char16_t(0xD83D), char16_t(0xDE00)}},
  };
  for (const Utf8Case& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << testing::PrintToString(c.utf8);
  }
}

TEST(Utf, WideIsUtf32) {
  EXPECT_EQ(WideToUtf8(L"a\u00E9\U0001F600"), "a\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToUtf8(std::wstring{wchar_t(0xD800), wchar_t(0x110000)}),
            "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToWide("a\xC3\xA9\xF0\x9F\x98\x80\x80"), L"a\u00E9\U0001F600\uFFFD");
}

TEST(Utf, LittleEndianBytes) {
  EXPECT_EQ(Utf16ToLeBytes(u"A\u20AC\xD83D\xDE00"), std::string("A\0\xAC\x20\x3D\xD8\x00\xDE", 8));
  EXPECT_EQ(LeBytesToUtf16(std::string("A\0\xAC\x20", 4)), u"A\u20AC");
  EXPECT_EQ(LeBytesToUtf16(std::string("A\0\xAC", 3)), u"A");  // odd trailing byte dropped
  EXPECT_EQ(LeBytesToUtf16(""), u"");
}

}  // namespace

#include "text/text_forms.h"

#include "foundation/utf.h"

namespace {

// The six characters that the narrow form keeps as Windows-1252 bytes.
struct NarrowPair {
  char16_t wide;
  unsigned char narrow;
};

constexpr NarrowPair TEXTFORMS_TYPOGRAPHIC[] = {
    {u'\u2013', 0x96}, {u'\u2018', 0x91}, {u'\u2019', 0x92},
    {u'\u201C', 0x93}, {u'\u201D', 0x94}, {u'\u2026', 0x85},
};

char NarrowUnit(char16_t unit) {
  if ((unit >= 0x20 && unit <= 0x7F) || unit == u'\t' || unit == u'\n' || unit == u'\r' ||
      unit == 0xAB || unit == 0xB0 || unit == 0xBB) {
    return static_cast<char>(unit);
  }
  for (const NarrowPair& pair : TEXTFORMS_TYPOGRAPHIC) {
    if (pair.wide == unit) return static_cast<char>(pair.narrow);
  }
  return '?';
}

char16_t WideUnit(unsigned char byte) {
  for (const NarrowPair& pair : TEXTFORMS_TYPOGRAPHIC) {
    if (pair.narrow == byte) return pair.wide;
  }
  return byte;
}

}  // namespace

std::string WideToNarrow(std::u16string_view wide) {
  std::string narrow;
  narrow.reserve(wide.size());
  for (char16_t unit : wide) narrow.push_back(NarrowUnit(unit));
  return narrow;
}

std::u16string NarrowToWide(std::string_view narrow) {
  std::u16string wide;
  wide.reserve(narrow.size());
  for (char byte : narrow) wide.push_back(WideUnit(static_cast<unsigned char>(byte)));
  return wide;
}

std::string Utf8ToNarrow(std::string_view utf8) { return WideToNarrow(Utf8ToUtf16(utf8)); }

std::string NarrowToUtf8(std::string_view narrow) { return Utf16ToUtf8(NarrowToWide(narrow)); }

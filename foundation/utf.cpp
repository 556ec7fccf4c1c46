#include "foundation/utf.h"

namespace {

constexpr char32_t UTF_REPLACEMENT = 0xFFFD;

// Decodes the code point at text[*pos] and advances *pos past it. An
// ill-formed sequence yields U+FFFD and advances past its maximal valid
// prefix only (at least one byte), so that the next lead byte is not lost.
char32_t DecodeUtf8(std::string_view text, std::size_t* pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(*pos);
  ++*pos;
  if (lead < 0x80) return lead;

  int count;
  char32_t cp;
  unsigned char low = 0x80, high = 0xBF;  // range of the first continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 1, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 2, cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 3, cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return UTF_REPLACEMENT;
  }
  for (int k = 0; k < count; ++k) {
    if (*pos >= text.size()) return UTF_REPLACEMENT;
    const unsigned char c = byte(*pos);
    if (c < low || c > high) return UTF_REPLACEMENT;
    low = 0x80, high = 0xBF;
    cp = (cp << 6) | (c & 0x3F);
    ++*pos;
  }
  return cp;
}

bool IsScalarValue(char32_t cp) { return cp < 0xD800 || (cp > 0xDFFF && cp <= 0x10FFFF); }

void AppendUtf8(std::string& out, char32_t cp) {
  if (!IsScalarValue(cp)) cp = UTF_REPLACEMENT;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const char32_t cp = DecodeUtf8(utf8, &pos);
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, unit);  // a lone surrogate becomes U+FFFD there
    }
  }
  return out;
}

std::string WideToUtf8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (const wchar_t c : wide) AppendUtf8(out, static_cast<char32_t>(c));
  return out;
}

std::wstring Utf8ToWide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) out += static_cast<wchar_t>(DecodeUtf8(utf8, &pos));
  return out;
}

std::string Utf16ToLeBytes(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 2);
  for (const char16_t unit : utf16) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

std::u16string LeBytesToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return out;
}

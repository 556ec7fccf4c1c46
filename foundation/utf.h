// Conversions between the internal UTF-8 text and the UTF-16 / UTF-32 forms
// that stored formats, the output pipe and wide printf formats carry.
// Every conversion is total: malformed input never fails, it turns into
// U+FFFD (REPLACEMENT CHARACTER), one per maximal ill-formed subsequence.
#pragma once

#include <string>
#include <string_view>

// Invalid UTF-8 (overlong forms, encoded surrogates, code points above
// U+10FFFF, truncated sequences, stray continuation bytes) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

// A lone surrogate (high without low, low without high) becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// wchar_t is UTF-32 on Linux; surrogate values and values above U+10FFFF
// become U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// The inverse of WideToUtf8; invalid UTF-8 becomes U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);

// Two bytes per code unit, little-endian, no byte-order mark, no terminator.
std::string Utf16ToLeBytes(std::u16string_view utf16);

// Reads little-endian code units; an odd trailing byte is dropped.
std::u16string LeBytesToUtf16(std::string_view bytes);

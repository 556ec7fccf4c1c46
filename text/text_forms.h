// The lossy 8-bit "narrow form" of text.
//
// Inside the program text is UTF-8. The narrow form exists only for stored
// formats that another program reads as 8-bit text (the uninstaller log): it
// keeps printable ASCII and a few typographic characters (as their
// Windows-1252 bytes) and turns everything else into '?'.
//
// Wide to narrow, per UTF-16 code unit:
//   U+0020..U+007F, tab, LF, CR, U+00AB, U+00B0, U+00BB -> the same byte
//   U+2013 -> 0x96   U+2018 -> 0x91   U+2019 -> 0x92
//   U+201C -> 0x93   U+201D -> 0x94   U+2026 -> 0x85
//   every other unit, NUL included -> '?' (a surrogate pair gives "??")
// Narrow to wide, per byte: 0x85, 0x91..0x94 and 0x96 back to the six
// characters above, every other byte to the code point of the same value.
#pragma once

#include <string>
#include <string_view>

// The result has exactly one byte per code unit of `wide`.
std::string WideToNarrow(std::u16string_view wide);

// The result has exactly one code unit per byte of `narrow`.
std::u16string NarrowToWide(std::string_view narrow);

// WideToNarrow of the UTF-16 form of `utf8`; malformed UTF-8 becomes '?'.
std::string Utf8ToNarrow(std::string_view utf8);

// The UTF-8 form of NarrowToWide(`narrow`).
std::string NarrowToUtf8(std::string_view narrow);

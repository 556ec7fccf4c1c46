// Little-endian integer fields of the stored formats (archive, package,
// uninstaller log), read from and written to byte strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace BramPatch {

// Appends `value` as `width` little-endian bytes (width 1, 2, 4 or 8).
inline void AppendLe(std::string* out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Overwrites `width` bytes at `offset`. REQUIRES: offset + width <= size.
inline void StoreLe(std::string* out, size_t offset, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) {
    (*out)[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

// REQUIRES: `bytes` holds at least `width` readable bytes.
inline std::uint64_t LoadLe(const void* bytes, int width) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

inline std::uint32_t LoadLe32(const void* bytes) {
  return static_cast<std::uint32_t>(LoadLe(bytes, 4));
}
inline std::uint64_t LoadLe64(const void* bytes) { return LoadLe(bytes, 8); }

}  // namespace BramPatch

#include "repair/segment_key.h"

#include <cstdio>

std::string MakeSegmentKey(std::string_view path, std::uint64_t index) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "#%03llu", static_cast<unsigned long long>(index));
  std::string key(path);
  key += digits;
  return key;
}

std::string_view SegmentKeyPath(std::string_view key) {
  const std::size_t hash = key.rfind('#');
  return hash == std::string_view::npos ? key : key.substr(0, hash);
}

std::uint32_t SegmentKeyIndex(std::string_view key) {
  const std::size_t hash = key.rfind('#');
  if (hash == std::string_view::npos || hash + 1 == key.size()) return 0;
  std::uint64_t value = 0;
  for (const char c : key.substr(hash + 1)) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > 0xFFFFFFFFu) return 0;
  }
  return static_cast<std::uint32_t>(value);
}

bool IsCanonicalSegmentKey(std::string_view key) {
  const std::string_view path = SegmentKeyPath(key);
  if (path.empty() || path.size() == key.size()) return false;
  return MakeSegmentKey(path, SegmentKeyIndex(key)) == key;
}

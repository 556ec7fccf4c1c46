// Segment keys: a file's path relative to the installation root ('\'
// between components), "#", and the segment index in decimal with at least
// three digits ("bin\x.dll#000", "bin\x.dll#1000"). Segment i of a file
// covers the bytes [i * SEGMENT_SIZE, min((i + 1) * SEGMENT_SIZE, size)).
//
// A key splits at its LAST '#': the index is always the key's final
// component, so file names that contain '#' keep their whole name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr std::uint32_t SEGMENT_SIZE = 0x400000;  // 4 MiB

// path + "#" + index, the index as "%03u".
std::string MakeSegmentKey(std::string_view path, std::uint64_t index);

// The text before the last '#'; the whole key when it has none.
std::string_view SegmentKeyPath(std::string_view key);

// The decimal number after the last '#'; 0 when there is no '#', or the text
// after it is empty, holds anything but ASCII digits, or exceeds 2^32 - 1.
std::uint32_t SegmentKeyIndex(std::string_view key);

// True when the key is exactly what MakeSegmentKey gives for its own path
// and index, with a non-empty path: the form every producer writes.
bool IsCanonicalSegmentKey(std::string_view key);

// Byte offset of a segment in its file.
constexpr std::uint64_t SegmentOffset(std::uint32_t index) {
  return std::uint64_t{index} * SEGMENT_SIZE;
}

// The memory map of this process (/proc/self/maps), read and parsed into
// fixed storage so that a crash handler can use it: no allocation, no stdio.
// One snapshot at a time; REQUIRES: callers serialise use (the crash path
// holds its own once-only ownership).
#pragma once

#include <cstddef>
#include <cstdint>

struct MapRegion {
  std::uint64_t start;
  std::uint64_t end;     // one past the last byte
  std::uint64_t offset;  // file offset of start
  std::uint64_t inode;
  bool readable;
  bool executable;
  const char* path;  // NUL-terminated, "" for anonymous memory; points into the snapshot
  std::size_t path_length;
};

class ProcessMaps {
 public:
  // Reads /proc/self/maps again. False when it cannot be read; a map larger
  // than the storage is cut at a line boundary.
  bool Read();

  // The raw text as read (for the dump's copy of the map).
  const char* Text() const { return m_text; }
  std::size_t TextSize() const { return m_textsize; }

  int RegionCount() const { return m_regioncount; }
  const MapRegion& Region(int index) const { return m_regions[index]; }

  // The region that holds address, or null.
  const MapRegion* Find(std::uint64_t address) const;
  // The region that holds address or, failing that, the lowest region that
  // starts above it within `slack` bytes (a stack pointer that ran into the
  // guard page). Null when none.
  const MapRegion* FindAtOrAbove(std::uint64_t address, std::uint64_t slack) const;

  // Readable memory that is safe to copy: not a device mapping, not [vvar]
  // or [vsyscall].
  static bool IsCopyable(const MapRegion& region);

 private:
  static constexpr std::size_t TEXT_CAPACITY = 2u << 20;
  static constexpr int REGION_CAPACITY = 32768;

  void Parse();

  char m_text[TEXT_CAPACITY];
  std::size_t m_textsize = 0;
  // Paths are copied here NUL-terminated, so that the raw text stays intact.
  char m_paths[TEXT_CAPACITY];
  MapRegion m_regions[REGION_CAPACITY];
  int m_regioncount = 0;
};

#include "foundation/process_maps.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {

const char* ParseHex(const char* p, const char* end, std::uint64_t* value) {
  std::uint64_t result = 0;
  while (p < end) {
    const char c = *p;
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    result = result * 16 + static_cast<std::uint64_t>(digit);
    ++p;
  }
  *value = result;
  return p;
}

const char* ParseDecimal(const char* p, const char* end, std::uint64_t* value) {
  std::uint64_t result = 0;
  while (p < end && *p >= '0' && *p <= '9')
    result = result * 10 + static_cast<std::uint64_t>(*p++ - '0');
  *value = result;
  return p;
}

const char* SkipField(const char* p, const char* end) {
  while (p < end && *p != ' ') ++p;
  while (p < end && *p == ' ') ++p;
  return p;
}

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

bool ProcessMaps::Read() {
  m_textsize = 0;
  m_regioncount = 0;
  const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  while (m_textsize < TEXT_CAPACITY) {
    const ssize_t got = read(fd, m_text + m_textsize, TEXT_CAPACITY - m_textsize);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    m_textsize += static_cast<std::size_t>(got);
  }
  close(fd);
  // Keep whole lines only.
  while (m_textsize > 0 && m_text[m_textsize - 1] != '\n') --m_textsize;
  Parse();
  return m_textsize > 0;
}

void ProcessMaps::Parse() {
  const char* p = m_text;
  const char* const end = m_text + m_textsize;
  std::size_t path_used = 0;
  while (p < end && m_regioncount < REGION_CAPACITY) {
    const char* line_end =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (line_end == nullptr) line_end = end;
    MapRegion region{};
    p = ParseHex(p, line_end, &region.start);
    if (p < line_end && *p == '-') ++p;
    p = ParseHex(p, line_end, &region.end);
    while (p < line_end && *p == ' ') ++p;
    region.readable = p < line_end && *p == 'r';
    region.executable = p + 2 < line_end && p[2] == 'x';
    p = SkipField(p, line_end);
    p = ParseHex(p, line_end, &region.offset);
    while (p < line_end && *p == ' ') ++p;
    p = SkipField(p, line_end);  // device
    p = ParseDecimal(p, line_end, &region.inode);
    while (p < line_end && *p == ' ') ++p;
    const std::size_t length = static_cast<std::size_t>(line_end - p);
    if (path_used + length + 1 > TEXT_CAPACITY) break;
    std::memcpy(m_paths + path_used, p, length);
    m_paths[path_used + length] = '\0';
    region.path = m_paths + path_used;
    region.path_length = length;
    path_used += length + 1;
    if (region.end > region.start) m_regions[m_regioncount++] = region;
    p = line_end + 1;
  }
}

const MapRegion* ProcessMaps::Find(std::uint64_t address) const {
  int low = 0;
  int high = m_regioncount;
  while (low < high) {
    const int middle = (low + high) / 2;
    if (m_regions[middle].end <= address) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low < m_regioncount && m_regions[low].start <= address) return &m_regions[low];
  return nullptr;
}

const MapRegion* ProcessMaps::FindAtOrAbove(std::uint64_t address, std::uint64_t slack) const {
  if (const MapRegion* region = Find(address)) return region;
  for (int i = 0; i < m_regioncount; ++i) {
    if (m_regions[i].start > address) {
      return m_regions[i].start - address <= slack ? &m_regions[i] : nullptr;
    }
  }
  return nullptr;
}

bool ProcessMaps::IsCopyable(const MapRegion& region) {
  if (!region.readable) return false;
  if (StartsWith(region.path, "/dev/")) return false;
  return std::strcmp(region.path, "[vvar]") != 0 && std::strcmp(region.path, "[vsyscall]") != 0;
}

#include "alloctrack/leak_report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (needed > 0) {
    text.resize(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<std::size_t>(needed));
  }
  va_end(again);
  return text;
}

bool SameGroup(const AllocationRecord& a, const AllocationRecord& b) {
  const AllocationGroupLess less;
  return !less(a, b) && !less(b, a);
}

// Resolves each address once.
class CachedResolver {
 public:
  explicit CachedResolver(const ReturnAddressResolver& resolve) : m_resolve(resolve) {}

  std::string Location(std::uintptr_t address) {
    auto found = m_locations.find(address);
    if (found == m_locations.end()) {
      const ResolvedFrame frame = m_resolve(address);
      const std::string text = FrameLocationText(frame, address) + Format("(%d)", frame.line);
      found = m_locations.emplace(address, text).first;
    }
    return found->second;
  }

 private:
  const ReturnAddressResolver& m_resolve;
  std::map<std::uintptr_t, std::string> m_locations;
};

}  // namespace

bool AllocationGroupLess::operator()(const AllocationRecord& a, const AllocationRecord& b) const {
  if (a.size != b.size) return a.size < b.size;
  const std::uintptr_t* a_end = a.frames + a.frame_count;
  const std::uintptr_t* b_end = b.frames + b.frame_count;
  if (std::lexicographical_compare(a.frames, a_end, b.frames, b_end)) return true;
  if (std::lexicographical_compare(b.frames, b_end, a.frames, a_end)) return false;
  return a.thread_id < b.thread_id;
}

std::string FrameLocationText(const ResolvedFrame& frame, std::uintptr_t address) {
  if (!frame.file.empty()) return frame.file;
  if (!frame.module.empty()) return frame.module;
  return Format("0x%llx", static_cast<unsigned long long>(address));
}

std::vector<std::string> BuildLeakReport(std::vector<AllocationRecord> records,
                                         const ReturnAddressResolver& resolve) {
  std::sort(records.begin(), records.end(), AllocationGroupLess());
  CachedResolver resolver(resolve);
  std::vector<std::string> pieces;
  pieces.push_back(LEAK_REPORT_BANNER_BEGIN);
  std::size_t groups = 0;
  for (std::size_t first = 0; first < records.size();) {
    std::size_t end = first + 1;
    while (end < records.size() && SameGroup(records[first], records[end])) ++end;
    const AllocationRecord& group = records[first];
    const int count = static_cast<int>(end - first);
    const unsigned long long size = group.size;
    if (group.frame_count > ALLOCATION_TRACKER_FRAMES) {
      const std::string site = resolver.Location(group.frames[ALLOCATION_TRACKER_FRAMES]);
      if (count == 1) {
        pieces.push_back(Format("%s: 1 memory block of size %llu was never freed (thread id %u).\n",
                                site.c_str(), size, group.thread_id));
      } else {
        pieces.push_back(
            Format("%s: %d memory blocks of size %llu were never freed (thread id %u).\n",
                   site.c_str(), count, size, group.thread_id));
      }
      for (int i = ALLOCATION_TRACKER_FRAMES + 1; i < group.frame_count; ++i) {
        pieces.push_back(resolver.Location(group.frames[i]) + ": Called from.\n");
      }
      pieces.push_back("\n");
    } else {
      pieces.push_back(Format(
          "Unknown location: %d memory blocks of size %llu were never freed.\n\n", count, size));
    }
    ++groups;
    first = end;
  }
  pieces.push_back(Format("\n\nA total of %zu leaks at %zu locations.\n", records.size(), groups));
  pieces.push_back(LEAK_REPORT_BANNER_END);
  return pieces;
}

std::string UnknownBlockLine(const void* block, const std::uintptr_t* frames, int count,
                             const ReturnAddressResolver& resolve) {
  if (count <= ALLOCATION_TRACKER_FRAMES) {
    return Format("Unknown location: Unknown memory block starting at %p freed.\n", block);
  }
  CachedResolver resolver(resolve);
  const std::string site = resolver.Location(frames[ALLOCATION_TRACKER_FRAMES]);
  return Format("%s: unknown memory block starting at %p freed.\n", site.c_str(), block);
}

// Helpers of the repair tests: files with chosen times and a summary whose
// file reads can be counted and failed.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "foundation/paths_test_support.h"
#include "repair/file_tree_summary.h"

namespace RepairTest {

inline void WriteFileAt(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteTextFile(path, bytes);
}

// Moves the file's modification time by `seconds` (contents untouched).
inline void ShiftFileTime(const std::string& path, int seconds) {
  const auto time = std::filesystem::last_write_time(path);
  std::filesystem::last_write_time(path, time + std::chrono::seconds(seconds));
}

// Counts ReadFileSegment calls; fails the calls while m_failing is set.
class CountingSummary : public FileTreeSummary {
 public:
  bool ReadFileSegment(const std::string& full_key, std::uint8_t* bytes,
                       std::uint32_t* length) override {
    ++m_reads;
    if (m_failing) return false;
    return FileTreeSummary::ReadFileSegment(full_key, bytes, length);
  }

  std::atomic<int> m_reads{0};
  std::atomic<bool> m_failing{false};
};

inline std::uint32_t ChecksumOf(FileTreeSummary& summary, const std::string& key) {
  SummaryEntry entry;
  return summary.FindEntry(key, &entry) ? entry.checksum : 0xDEADBEEFu;
}

}  // namespace RepairTest

// Helpers of the repair tests: files with chosen times and a summary whose
// file reads can be counted and failed.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
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

// A tree as relative path ('/' separators) -> contents of its regular files.
using Tree = std::map<std::string, std::string>;

inline Tree ReadTree(const std::string& root) {
  Tree tree;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(root, error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file(error) && !it->is_symlink(error)) {
      tree[std::filesystem::relative(it->path(), root).string()] =
          ReadTextFile(it->path().string());
    }
  }
  return tree;
}

inline void WriteTree(const std::string& root, const Tree& tree) {
  for (const auto& [relative, contents] : tree) WriteFileAt(root + "/" + relative, contents);
}

inline std::string RandomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Bytes that compress well but not to nothing.
inline std::string TextBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  static const char WORDS[] = "alpha beta gamma delta kestro repair segment\n";
  std::string bytes;
  bytes.reserve(count);
  while (bytes.size() < count) bytes += WORDS[random() % (sizeof WORDS - 1)];
  bytes.resize(count);
  return bytes;
}

inline std::uint32_t ChecksumOf(FileTreeSummary& summary, const std::string& key) {
  SummaryEntry entry;
  return summary.FindEntry(key, &entry) ? entry.checksum : 0xDEADBEEFu;
}

}  // namespace RepairTest

// Test helpers of the engine: trees of real files and their snapshots.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "foundation/paths_test_support.h"

namespace BramPatch {

// A tree as relative path ('/' separators) -> contents; directories map to
// the marker TREE_DIRECTORY.
using Tree = std::map<std::string, std::string>;
inline const std::string TREE_DIRECTORY = "<dir>";

inline std::string RandomBytes(size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Bytes that compress well but not to nothing.
inline std::string TextBytes(size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  static const char WORDS[] = "alpha beta gamma delta kestro patch build data\n";
  std::string bytes;
  while (bytes.size() < count) bytes += WORDS[random() % (sizeof WORDS - 1)];
  bytes.resize(count);
  return bytes;
}

inline void WriteTree(const std::string& root, const Tree& tree) {
  for (const auto& [relative, contents] : tree) {
    std::filesystem::path path = std::filesystem::path(root) / relative;
    if (contents == TREE_DIRECTORY) {
      std::filesystem::create_directories(path);
    } else {
      std::filesystem::create_directories(path.parent_path());
      WriteTextFile(path.string(), contents);
    }
  }
}

inline Tree ReadTree(const std::string& root) {
  Tree tree;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::string relative = std::filesystem::relative(it->path(), root).string();
    tree[relative] = it->is_directory() ? TREE_DIRECTORY : ReadTextFile(it->path().string());
  }
  return tree;
}

}  // namespace BramPatch

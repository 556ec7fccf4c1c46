// FileTreeSummary::RegisterTree and the exclusion patterns.
#include "repair/file_tree_summary.h"

#include <deque>
#include <filesystem>
#include <system_error>

#include "foundation/paths.h"
#include "repair/segment_key.h"

bool MatchesExclusionPattern(std::string_view path, std::string_view pattern) {
  // Greedy matching with one back-tracking point, the last '*' seen: linear
  // in practice, and never worse than path length times pattern length.
  std::size_t p = 0;
  std::size_t t = 0;
  std::size_t star = std::string_view::npos;
  std::size_t star_text = 0;
  while (t < path.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_text = t;
    } else if (p < pattern.size() && pattern[p] == path[t]) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

bool IsExcluded(std::string_view relative, const std::set<std::string>& exclusions) {
  for (const std::string& pattern : exclusions) {
    if (MatchesExclusionPattern(relative, pattern)) return true;
  }
  return false;
}

enum class EntryKind { DIRECTORY, REGULAR_FILE, OTHER };

// The entry itself, links not followed: links, pipes, sockets and devices
// are OTHER and left out (opening a pipe for reading would block the scan).
EntryKind KindOf(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  if (error) return EntryKind::OTHER;
  if (std::filesystem::is_directory(status)) return EntryKind::DIRECTORY;
  if (std::filesystem::is_regular_file(status)) return EntryKind::REGULAR_FILE;
  return EntryKind::OTHER;
}

}  // namespace

BramResult FileTreeSummary::RegisterTree(const std::string& root,
                                         const std::set<std::string>& exclusions,
                                         const std::function<bool()>& keep_going) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  for (auto& [key, entry] : m_entries) entry.seen = false;

  std::deque<std::string> directories{root};
  std::set<std::string> listing;
  while (!directories.empty()) {
    if (keep_going && !keep_going()) return BRAMRESULT_ABORTED;
    const std::string directory = directories.front();
    directories.pop_front();
    ListDirectory(directory, &listing);
    for (const std::string& path : listing) {
      const EntryKind kind = KindOf(path);
      if (kind == EntryKind::DIRECTORY) {
        directories.push_back(path);
        continue;
      }
      if (kind != EntryKind::REGULAR_FILE) continue;
      if (keep_going && !keep_going()) return BRAMRESULT_ABORTED;
      std::string relative = RelativePath(path, root);
      NormalizeSeparators(relative, '\\');
      if (IsExcluded(relative, exclusions)) continue;
      RegisterFile(path, relative);
    }
  }

  for (auto it = m_entries.begin(); it != m_entries.end();) {
    it = it->second.seen ? std::next(it) : m_entries.erase(it);
  }
  return BRAMRESULT_OK;
}

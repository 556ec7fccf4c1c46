// The repair server's reference tree: the build every client is repaired
// to, with its summary. The summary is computed in full once, then brought
// up to date before each client is served; thanks to the modification-time
// cache that only re-reads files that changed since.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "repair/file_tree_summary.h"

namespace BramPatch {

class RepairReference {
 public:
  // `exclusions`: patterns of relative paths ('\' separators, "*") that the
  // server neither serves nor removes, besides those of every installation:
  // the checksum file and the uninstaller with its log, which belong to the
  // machine and not to the build.
  RepairReference(std::string root, std::set<std::string> exclusions);

  // Rescans the tree and returns every entry, in key order. Safe to call
  // from several sessions at once (they take turns).
  std::vector<SummaryRecord> Refresh();

  const std::string& GetRoot() const { return m_root; }
  // True when a key's path matches an exclusion.
  bool IsExcluded(std::string_view path) const;

 private:
  const std::string m_root;
  std::set<std::string> m_exclusions;
  std::mutex m_lock;  // one rescan at a time
  FileTreeSummary m_summary;
};

}  // namespace BramPatch

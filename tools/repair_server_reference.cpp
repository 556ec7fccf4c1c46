#include "tools/repair_server_reference.h"

namespace BramPatch {

RepairReference::RepairReference(std::string root, std::set<std::string> exclusions)
    : m_root(std::move(root)), m_exclusions(std::move(exclusions)) {
  for (const char* own : {"repair.cks", "repair.cks.tmp", "unins000.exe", "unins000.dat"}) {
    m_exclusions.insert(own);
  }
}

bool RepairReference::IsExcluded(std::string_view path) const {
  for (const std::string& pattern : m_exclusions) {
    if (MatchesExclusionPattern(path, pattern)) return true;
  }
  return false;
}

std::vector<SummaryRecord> RepairReference::Refresh() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_summary.RegisterTree(m_root, m_exclusions);
  return m_summary.GetEntries();
}

}  // namespace BramPatch

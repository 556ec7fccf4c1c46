#include "tools/repair_server_plan.h"

#include <map>

#include "foundation/utf.h"
#include "repair/segment_key.h"

namespace BramPatch {

std::vector<RepairRecordPlan> PlanRepairRecords(
    const std::vector<SummaryRecord>& reference, const std::vector<SummaryRecord>& client,
    const std::function<bool(std::string_view path)>& excluded) {
  std::map<std::u16string, std::uint32_t> reference_checksums;
  for (const SummaryRecord& record : reference) {
    if (excluded(SegmentKeyPath(record.key))) continue;
    reference_checksums.emplace(Utf8ToUtf16(record.key), record.entry.checksum);
  }
  std::map<std::u16string, std::uint32_t> client_checksums;
  for (const SummaryRecord& record : client) {
    if (excluded(SegmentKeyPath(record.key))) continue;
    client_checksums.emplace(Utf8ToUtf16(record.key), record.entry.checksum);
  }

  std::vector<RepairRecordPlan> plan;
  for (const auto& [key, checksum] : client_checksums) {
    if (reference_checksums.count(key) == 0) plan.push_back({Utf16ToUtf8(key), false});
  }
  for (const auto& [key, checksum] : reference_checksums) {
    if (checksum == 0) continue;
    const auto found = client_checksums.find(key);
    if (found == client_checksums.end() || found->second != checksum) {
      plan.push_back({Utf16ToUtf8(key), true});
    }
  }
  return plan;
}

}  // namespace BramPatch

// What the repair server sends a client: the records that turn the
// client's tree, as its summary describes it, into the reference.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "repair/file_tree_summary.h"

namespace BramPatch {

struct RepairRecordPlan {
  std::string key;  // segment key
  bool has_data;    // false: a record without data (shorten or delete)
};

// Keys whose path `excluded` accepts are left out on both sides. Records
// without data first, for every segment the client lists and the
// reference lacks (so files and tails go before anything is written, which
// also frees their space); then a record with data for every reference
// segment the client lacks or lists with another checksum. Each group in
// key order. Reference segments that were unreadable on the server
// (checksum 0) are left out: neither sent nor removed.
std::vector<RepairRecordPlan> PlanRepairRecords(
    const std::vector<SummaryRecord>& reference, const std::vector<SummaryRecord>& client,
    const std::function<bool(std::string_view path)>& excluded);

}  // namespace BramPatch

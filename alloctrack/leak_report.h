// The text of the exit report: the blocks still alive, grouped by size, call
// stack and thread, each group named after the source line that allocated
// it. Pure: addresses are resolved through the caller's function and the
// texts are returned, not sent.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "alloctrack/allocation_record.h"
#include "foundation/call_stack.h"

constexpr char LEAK_REPORT_BANNER_BEGIN[] = "\n\n>>>>>>>>>> DEBUG ALLOCATION >>>>>>>>>>\n\n";
constexpr char LEAK_REPORT_BANNER_END[] = "\n\n<<<<<<<<<< DEBUG ALLOCATION <<<<<<<<<<\n\n";

// Orders the group keys: by size, then by the frame addresses one by one
// (a list that is a prefix of a longer one comes first), then by thread id.
// Records that compare equal either way belong to one group.
struct AllocationGroupLess {
  bool operator()(const AllocationRecord& a, const AllocationRecord& b) const;
};

// Resolves a return address to its source file and line.
using ReturnAddressResolver = std::function<ResolvedFrame(std::uintptr_t address)>;

// "file(line)" of a frame: the source file when known, else the module's
// path, else the address in hexadecimal.
std::string FrameLocationText(const ResolvedFrame& frame, std::uintptr_t address);

// The report pieces in the order they are printed, each one "report line"
// (it may hold several line feeds): the opening banner, per group in key
// order its lines, the total, the closing banner. Each distinct address is
// resolved once.
std::vector<std::string> BuildLeakReport(std::vector<AllocationRecord> records,
                                         const ReturnAddressResolver& resolve);

// The line for a release of a block the tracker does not know; frames as
// captured by the releasing operator.
std::string UnknownBlockLine(const void* block, const std::uintptr_t* frames, int count,
                             const ReturnAddressResolver& resolve);

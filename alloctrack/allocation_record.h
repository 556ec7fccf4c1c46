// One block that the allocation tracker holds: its requested size, the
// allocating thread and the call stack at the moment of allocation.
#pragma once

#include <cstdint>

// Frames kept per block, the tracker's own included.
constexpr int ALLOCATION_FRAME_LIMIT = 18;

// Frames at the top of every stack the tracker captures that belong to the
// tracker itself (the global operator that captured it). The first frame
// after them is the code that allocated or released the block.
constexpr int ALLOCATION_TRACKER_FRAMES = 1;

struct AllocationRecord {
  std::uint64_t size;         // requested bytes
  std::uint32_t thread_id;    // kernel thread id of the allocating thread
  std::uint16_t frame_count;  // valid entries of frames, at most ALLOCATION_FRAME_LIMIT
  std::uintptr_t frames[ALLOCATION_FRAME_LIMIT];  // return addresses, innermost first
};
static_assert(sizeof(AllocationRecord) == 160, "records are copied by value into the map");

// The tracker's side of the global operators (allocation_operators.cpp).
// An operator first asks TrackerBypasses(); only when that is false does it
// capture the stack itself, so that frame ALLOCATION_TRACKER_FRAMES of
// every record is the operator's caller, and take the tracked path.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the calling thread's allocation or release goes straight to the
// runtime heap untracked: before the tracker starts, after the exit report,
// and inside the tracker's own bookkeeping on this thread.
bool TrackerBypasses();

// Records block, just allocated with the requested size. A record that
// cannot be stored (no memory for the map) is dropped: the block then counts
// as unknown when it is released.
void TrackerRecord(void* block, std::size_t size, const std::uintptr_t* frames, int count);

// Removes the record of block. False when there was none: the caller reports
// the block with TrackerReportUnknown and frees it anyway. True after the
// exit report.
bool TrackerForget(void* block);

// Reports the release of a block without record; frames as the releasing
// operator captured them. Never throws.
void TrackerReportUnknown(void* block, const std::uintptr_t* frames, int count);

// For the forked helper of the crash report: from now on every allocation
// of the (only) thread goes straight to the heap, and the tracker's lock,
// which another thread may have held at the fork, is never taken.
void TrackerStopForCrashHelper();

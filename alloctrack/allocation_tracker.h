// Allocation tracking with a leak report at exit.
//
// A program linked with omvel_alloctrack has the global new and delete
// operators replaced, in every standard form (plain, array, nothrow, sized,
// aligned). Each block gets a record of its requested size, the allocating
// thread and up to ALLOCATION_FRAME_LIMIT return addresses; each release
// removes the record. The stack is captured with libunwind's fast path and
// resolved to file and line only for a report.
//
// At process exit, during static destruction, the blocks still alive are
// reported on the debugger channel (the system log) and to the report sink,
// grouped by size, call stack and thread:
//
//   >>>>>>>>>> DEBUG ALLOCATION >>>>>>>>>>
//   file(line): 2 memory blocks of size 16 were never freed (thread id 4242).
//   file(line): Called from.
//   ...
//   A total of 2 leaks at 1 locations.
//   <<<<<<<<<< DEBUG ALLOCATION <<<<<<<<<<
//
// Releasing a block the tracker never recorded (one from malloc, or one
// allocated before tracking started) reports "file(line): unknown memory
// block starting at 0x... freed." and frees the block all the same.
//
// Tracking starts before the program's own static objects are constructed
// and ends with the report; what shared libraries allocate during their
// static initialisation, and everything after the report, goes straight to
// the C runtime heap untracked. Every form allocates from and releases to
// that heap (malloc, posix_memalign, free).
//
// Until the application installs its crash handlers (InstallCrashHandlers
// replaces it), a fault prints "Memory bound was overwritten" and the
// faulting thread's resolved call stack on standard error, then the
// signal's default action ends the process (tracker_crash_filter.h).
#pragma once

#include <string_view>

// Receives each report text as it is printed; a text may hold several line
// feeds. Called by one thread at a time, with tracking suspended for that
// thread. It must not wait for another thread that may be allocating.
using AllocationReportSink = void (*)(std::string_view text);

// Report texts also go to sink; nullptr (the default) for none. May be set
// at any time, static initialisation included.
void SetAllocationReportSink(AllocationReportSink sink);

// The tracker's crash report, in place from the tracker's start until the
// application installs its own crash handlers (InstallCrashHandlers puts its
// handlers over it). A fault — SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT —
// on any thread prints on standard error
//   Memory bound was overwritten
//   <empty line>
//   Call stack:
//   file(line), function        one line per frame of the faulting thread
// (the text after the caption at most 4095 characters; frames that do not
// fit are left out), and then the signal's default action ends the process.
// Frames are resolved in a forked helper, so the faulting process runs only
// async-signal-safe code; when the helper fails or takes longer than ten
// seconds, the frames are printed as bare addresses ("0x4011d6(0), ").
#pragma once

constexpr char TRACKER_CRASH_CAPTION[] = "Memory bound was overwritten";

// Puts the report on the fatal signals.
void InstallTrackerCrashFilter();

// Gives each fatal signal whose handler is still the report its default
// action back; handlers installed since (the application's) stay.
void RemoveTrackerCrashFilter();

// Crash dumps and process guards. A fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT) on any thread ends in a minidump in the working directory
// (docs/crash-dumps.md):
//  - on a thread running under a CrashGuard, once NameStartupDump has named
//    it, the start-up dump "patcher-v35673-YYYY.MM.DD-HH.MM.SS.dmp", then the
//    "Fatal Error" box (fatal_error_box.h) and exit code 255;
//  - anywhere else the process-wide filter's "Kestro-42011.dmp" (or the
//    first free "Kestro-42011_N.dmp"), after which the process dies by the
//    signal.
// Each of the two dumps is written at most once per process.
#pragma once

// The build number in start-up dump names.
constexpr char CRASH_BUILD_NUMBER[] = "35673";

// Installs, in this order: arms the exit check, the fatal-signal handlers
// (the process-wide filter, on an alternate stack), the exit check at exit,
// std::terminate's handler (the invalid-parameter report) and the console
// control handler (SIGINT, SIGTERM, SIGHUP). Call once from the main thread
// before other threads start; later calls do nothing.
void InstallCrashHandlers();

// The application's normal exit: disarms the exit check.
void FinishCrashHandlers();

// Names the start-up dump after application_name, the build number and the
// local time, and turns the guards' fatal-exception handling on. Does
// nothing when a debugger is attached (the name stays empty).
void NameStartupDump(const char* application_name);

// "" when not named.
const char* StartupDumpName();

// Writes the start-up-named dump of the calling thread at the point of the
// call; at most once per process. False when not named, already written or
// the file cannot be made.
bool WriteStartupDump();

// Writes a dump of the process at the point of the call through the
// process-wide filter (so at most one per process, shared with faults,
// assertions and the exit check) and returns.
void WriteDumpNow();

// Gives the calling thread the alternate signal stack that the fault
// handlers need to report a stack overflow. OS::StartThread threads and
// guarded toolkit threads do this themselves. Idempotent.
void PrepareThreadForCrashReports();

// Marks the calling thread as running under the toolkit's guard for the
// object's lifetime (nests). A guarded body should be called through a
// noexcept function: an exception that leaves it then reaches
// std::terminate before unwinding, and the terminate handler treats it as
// a guarded fault (start-up dump at the throw site, box, exit code 255).
class CrashGuard {
 public:
  CrashGuard();
  CrashGuard(const CrashGuard&) = delete;
  CrashGuard& operator=(const CrashGuard&) = delete;
  ~CrashGuard();

 private:
  bool m_previous;
};

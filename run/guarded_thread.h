// The base of every worker thread of the patch window: a toolkit thread
// whose body runs under the crash guard. A fault in the body (a signal, or
// a C++ exception that leaves it) writes the start-up dump, shows the
// "Fatal Error" box and ends the process with exit code 255
// (foundation/crash_handlers.h). With a debugger attached the body runs
// unguarded, so that the debugger sees the fault where it happens.
#pragma once

#include <wx/thread.h>

class wxGuardedThread : public wxThread {
 public:
  explicit wxGuardedThread(wxThreadKind kind = wxTHREAD_JOINABLE);

 protected:
  // The thread body. Its result is the thread's exit code only under a
  // debugger; a guarded run always exits with 0.
  virtual int GuardedEntry() = 0;

 private:
  ExitCode Entry() final;
};

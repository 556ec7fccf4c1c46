#include "run/guarded_thread.h"

#include <cxxabi.h>

#include <cstdint>

#include "foundation/crash_handlers.h"
#include "foundation/debugger_presence.h"

wxGuardedThread::wxGuardedThread(wxThreadKind kind) : wxThread(kind) {}

wxThread::ExitCode wxGuardedThread::Entry() {
  if (IsDebuggerAttached()) {
    return reinterpret_cast<ExitCode>(static_cast<std::intptr_t>(GuardedEntry()));
  }
  CrashGuard guard;
  try {
    GuardedEntry();
  } catch (abi::__forced_unwind&) {
    throw;  // thread cancellation must unwind
  } catch (...) {
    HandleGuardedException();
  }
  return nullptr;
}

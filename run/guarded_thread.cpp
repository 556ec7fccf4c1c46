#include "run/guarded_thread.h"

#include <cstdint>

#include "foundation/crash_handlers.h"
#include "foundation/debugger_presence.h"

wxGuardedThread::wxGuardedThread(wxThreadKind kind) : wxThread(kind) {}

wxThread::ExitCode wxGuardedThread::Entry() {
  if (IsDebuggerAttached()) {
    return reinterpret_cast<ExitCode>(static_cast<std::intptr_t>(GuardedEntry()));
  }
  CrashGuard guard;
  // noexcept: an exception that leaves the body ends in std::terminate at
  // the throw site, where the crash handlers report it as a guarded fault.
  // (wxThread::Kill's cancellation ends there too; workers end by
  // returning.)
  [this]() noexcept { GuardedEntry(); }();
  return nullptr;
}

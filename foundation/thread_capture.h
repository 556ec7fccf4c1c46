// Stops the other threads of this process inside a signal handler so that a
// dump can record their registers, and lets them go again. Async-signal-safe;
// REQUIRES: one caller at a time (the crash path's ownership).
#pragma once

#include <cstdint>

struct ThreadRegisters {
  std::int32_t tid;
  std::uint64_t gregs[23];    // the kernel's general registers (REG_R8 ... REG_CR2)
  std::uint8_t fpstate[512];  // FXSAVE area
  bool has_fpstate;
};

constexpr int THREAD_CAPTURE_CAPACITY = 1024;

// The signal that stops a thread for capture (a real-time signal).
int ThreadCaptureSignal();

// Installs the handler of ThreadCaptureSignal(). Done by InstallCrashHandlers.
void InstallThreadCaptureHandler();

// Copies the registers of a ucontext_t into *out (tid not touched).
void RegistersFromContext(const void* ucontext, ThreadRegisters* out);

// Signals every other thread listed in /proc/self/task and waits (at most
// about a second) until each has stored its registers and stopped. Returns
// the number of threads stopped; *threads points at their records, valid
// until ResumeOtherThreads. Threads that block the signal or do not answer
// in time are left out.
int SuspendOtherThreads(const ThreadRegisters** threads);

// Lets the stopped threads continue and waits until they have left the
// handler.
void ResumeOtherThreads();

// The kernel thread id of the caller.
std::int32_t CurrentThreadId();

// A program that crashes in the ways the crash tests ask for:
//   crash_testchild <mode> [no-helper]
// It installs the crash handlers first, as the patcher does; unless
// "no-helper" is given it also serves as its own "Fatal Error" helper.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "foundation/assert_condition.h"
#include "foundation/crash_handlers.h"
#include "foundation/fatal_error_box.h"
#include "foundation/os_handles.h"
#include "foundation/os_thread.h"

namespace {

volatile int* volatile g_null = nullptr;

__attribute__((noinline)) void CrashOnPurpose() {
  *g_null = 1;
  std::puts("not reached");
}

volatile bool g_keep_going = true;

__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (!g_keep_going) return 0;
  return Recurse(depth + 1) + frame[0];
}

std::int32_t CrashingBody(void*) {
  CrashOnPurpose();
  return 0;
}

std::int32_t GuardedCrashingBody(void*) {
  CrashGuard guard;
  CrashOnPurpose();
  return 0;
}

// Runs body on an OS::Thread while the main thread waits for it; a second,
// idle thread shows that every thread lands in the dump.
int RunOnThread(OS::ThreadFunction body) {
  OS::Handle idle_release = OS::MakeEvent(true, false, nullptr);
  OS::Thread idle;
  idle.Start(
      [](void* release) -> std::int32_t {
        OS::WaitObject(*static_cast<OS::Handle*>(release), OS::INFINITE);
        return 0;
      },
      &idle_release);
  OS::Thread crasher;
  crasher.Start(body, nullptr);
  crasher.Wait();
  return 1;
}

std::atomic<int> g_ready{0};

std::int32_t FaultTogether(void*) {
  ++g_ready;
  while (g_ready < 2) {
  }
  CrashOnPurpose();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool helper = !(argc > 2 && std::strcmp(argv[2], "no-helper") == 0);
  if (helper && RunFatalErrorBoxIfRequested(argc, argv)) return 0;
  InstallCrashHandlers();
  const std::string mode = argc > 1 ? argv[1] : "";
  setvbuf(stdout, nullptr, _IONBF, 0);

  if (mode == "segv-main") {
    CrashOnPurpose();
  } else if (mode == "segv-main-guarded") {
    NameStartupDump("patcher");
    CrashGuard guard;
    CrashOnPurpose();
  } else if (mode == "segv-thread") {
    NameStartupDump("patcher");  // unguarded threads still go to the filter
    return RunOnThread(CrashingBody);
  } else if (mode == "segv-thread-guarded") {
    NameStartupDump("patcher");
    return RunOnThread(GuardedCrashingBody);
  } else if (mode == "two-faults") {
    OS::Thread first, second;
    first.Start(FaultTogether, nullptr);
    second.Start(FaultTogether, nullptr);
    first.Wait();
    second.Wait();
  } else if (mode == "stack-overflow") {
    return Recurse(0);
  } else if (mode == "assert") {
    AssertCondition(argc < 0, "argc < 0");
  } else if (mode == "assert-holds") {
    AssertCondition(argc > 0, "argc > 0");
    FinishCrashHandlers();
    return 0;
  } else if (mode == "exit-deep") {
    std::exit(3);
  } else if (mode == "exit-normal") {
    FinishCrashHandlers();
    return 0;
  } else if (mode == "dump-now-twice") {
    WriteDumpNow();
    WriteDumpNow();
    std::puts("resumed");
    FinishCrashHandlers();
    return 0;
  } else if (mode == "terminate") {
    throw std::runtime_error("nobody catches this");
  } else if (mode == "console") {
    std::puts("waiting");
    kill(getpid(), SIGTERM);
    pause();
  }
  std::fprintf(stderr, "unknown mode or survived: %s\n", mode.c_str());
  return 2;
}

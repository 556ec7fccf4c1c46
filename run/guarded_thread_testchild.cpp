// Runs a wxGuardedThread the way the tests ask:
//   guarded_thread_testchild <mode>          exit-code | segv | throw
//   guarded_thread_testchild traced <mode>   the same under a tiny ptrace
//                                            parent (a debugger stand-in)
// Prints "exit code N" for the thread's exit code. Exits 77 when ptrace is
// not permitted here.
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include <wx/init.h>

#include "foundation/crash_handlers.h"
#include "foundation/fatal_error_box.h"
#include "run/guarded_thread.h"

namespace {

volatile int* volatile g_null = nullptr;

__attribute__((noinline)) void FaultInWorker() { *g_null = 5; }

class Worker : public wxGuardedThread {
 public:
  explicit Worker(std::string mode) : m_mode(std::move(mode)) {}

 private:
  int GuardedEntry() override {
    if (m_mode == "segv") FaultInWorker();
    if (m_mode == "throw") throw std::runtime_error("left the body");
    return 5;
  }
  std::string m_mode;
};

// The debugger stand-in: traces the child from its first instruction and
// passes every signal on, then ends as the child ended.
int RunTraced(char* self, char* mode) {
  const pid_t child = fork();
  if (child == 0) {
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(77);
    char* arguments[] = {self, mode, nullptr};
    execv(self, arguments);
    _exit(98);
  }
  int status = 0;
  while (waitpid(child, &status, 0) == child) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    const int stop = WSTOPSIG(status);
    ptrace(PTRACE_CONT, child, nullptr,
           reinterpret_cast<void*>(static_cast<std::intptr_t>(stop == SIGTRAP ? 0 : stop)));
  }
  return 97;
}

}  // namespace

int main(int argc, char** argv) {
  if (RunFatalErrorBoxIfRequested(argc, argv)) return 0;
  if (argc > 2 && std::strcmp(argv[1], "traced") == 0) return RunTraced(argv[0], argv[2]);
  const std::string mode = argc > 1 ? argv[1] : "exit-code";
  wxInitializer toolkit;
  if (!toolkit.IsOk()) return 96;
  InstallCrashHandlers();
  NameStartupDump("patcher");
  Worker worker(mode);
  if (worker.Run() != wxTHREAD_NO_ERROR) return 95;
  const auto code = reinterpret_cast<std::intptr_t>(worker.Wait());
  std::printf("exit code %d\n", static_cast<int>(code));
  FinishCrashHandlers();
  return 0;
}

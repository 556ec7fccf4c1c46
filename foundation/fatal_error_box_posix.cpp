#include "foundation/fatal_error_box.h"

#include <errno.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "foundation/raw_text.h"

namespace {

void PrintFatalErrorLine(const char* caption, const char* text) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
}

std::atomic<FatalErrorBoxFunction> g_show{PrintFatalErrorLine};
std::atomic<char*> g_program{nullptr};  // argv[0] of an executable that serves as helper

void WriteFallbackLine() {
  RawText line;
  line.Append(FATAL_ERROR_BOX_CAPTION).Append(": ").Append(FATAL_ERROR_BOX_TEXT);
  RawWriteLine(2, line.Text());
}

// Waits for the helper. When another handler (a toolkit's SIGCHLD
// handler) has reaped it, polls until the process is gone.
bool WaitForHelper(pid_t child) {
  int status = 0;
  for (;;) {
    if (waitpid(child, &status, 0) == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (errno == EINTR) continue;
    break;
  }
  while (kill(child, 0) == 0) {
    timespec pause{0, 100000000L};
    nanosleep(&pause, nullptr);
  }
  return true;
}

}  // namespace

void SetFatalErrorBoxFunction(FatalErrorBoxFunction show) {
  g_show.store(show != nullptr ? show : PrintFatalErrorLine);
}

bool RunFatalErrorBoxIfRequested(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], FATAL_ERROR_BOX_SWITCH) == 0) {
    g_show.load()(FATAL_ERROR_BOX_CAPTION, FATAL_ERROR_BOX_TEXT);
    return true;
  }
  if (argc >= 1 && argv[0] != nullptr) g_program.store(argv[0]);
  return false;
}

void ShowFatalErrorBox() {
  char* program = g_program.load();
  if (program != nullptr) {
    // The raw system call skips the fork handlers of the C library, which
    // may take locks that the crashed thread holds.
    const long child = syscall(SYS_fork);
    if (child == 0) {
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      char box_switch[sizeof(FATAL_ERROR_BOX_SWITCH)];
      std::memcpy(box_switch, FATAL_ERROR_BOX_SWITCH, sizeof(box_switch));
      char* arguments[] = {program, box_switch, nullptr};
      execve("/proc/self/exe", arguments, environ);
      _exit(127);
    }
    if (child > 0 && WaitForHelper(static_cast<pid_t>(child))) return;
  }
  WriteFallbackLine();
}

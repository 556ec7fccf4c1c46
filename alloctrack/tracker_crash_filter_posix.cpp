#include "alloctrack/tracker_crash_filter.h"

#define UNW_LOCAL_ONLY
#include <errno.h>
#include <libunwind.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "alloctrack/allocation_tracker_internal.h"
#include "alloctrack/leak_report.h"
#include "foundation/call_stack.h"
#include "foundation/raw_text.h"
#include "foundation/thread_capture.h"

namespace {

constexpr int FATAL_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int FAULT_FRAME_LIMIT = 1024;
constexpr std::size_t REPORT_TEXT_LIMIT = 4095;  // characters after the caption
constexpr long HELPER_POLL_MS = 10;
constexpr long HELPER_WAIT_MS = 10000;

// The thread that reports a fault; 0 when none. Other threads that fault
// meanwhile wait for it to end the process.
std::atomic<std::int32_t> g_fault_owner{0};
std::uintptr_t g_fault_frames[FAULT_FRAME_LIMIT];  // written by the owner only

void SleepMilliseconds(long ms) {
  timespec pause{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
}

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void SetDefaultAction(int signal_number) {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

// The system's default handling: the signal's default action ends the process.
[[noreturn]] void DieBySignal(int signal_number) {
  SetDefaultAction(signal_number);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal_number);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);
}

// The faulting thread's frames, from the interrupted context outwards.
int CaptureFaultStack(void* ucontext) {
  unw_cursor_t cursor;
  if (unw_init_local2(&cursor, static_cast<unw_context_t*>(ucontext), UNW_INIT_SIGNAL_FRAME) != 0) {
    return 0;
  }
  int count = 0;
  do {
    unw_word_t ip = 0;
    if (unw_get_reg(&cursor, UNW_REG_IP, &ip) != 0 || ip == 0) break;
    g_fault_frames[count++] = static_cast<std::uintptr_t>(ip);
  } while (count < FAULT_FRAME_LIMIT && unw_step(&cursor) > 0);
  return count;
}

// Runs in the forked helper, which may allocate and take locks: a lock that
// another thread held at the fork stays taken, and the parent gives up on
// the helper after HELPER_WAIT_MS.
void WriteResolvedReport(int count) {
  TrackerStopForCrashHelper();
  std::string text = "\nCall stack:\n";
  for (int i = 0; i < count; ++i) {
    // The first frame is the faulting instruction, the others return addresses.
    const ResolvedFrame frame = ResolveFrame(g_fault_frames[i], i > 0);
    const std::string line = FrameLocationText(frame, g_fault_frames[i]) + "(" +
                             std::to_string(frame.line) + "), " + frame.function + "\n";
    if (text.size() + line.size() > REPORT_TEXT_LIMIT) break;
    text += line;
  }
  const std::string report = std::string(TRACKER_CRASH_CAPTION) + "\n" + text;
  WriteAll(2, report.data(), report.size());
}

// The fallback: bare addresses, async-signal-safe.
void WriteRawReport(int count) {
  RawWriteLine(2, TRACKER_CRASH_CAPTION);
  RawWriteLine(2, "");
  RawWriteLine(2, "Call stack:");
  std::size_t used = std::strlen("\nCall stack:\n");
  for (int i = 0; i < count; ++i) {
    RawText line;
    line.Append("0x").AppendHex(g_fault_frames[i]).Append("(0), ");
    if (used + line.Length() + 1 > REPORT_TEXT_LIMIT) break;
    used += line.Length() + 1;
    RawWriteLine(2, line.Text());
  }
}

// True when the helper wrote the resolved report.
bool RunResolvingHelper(int count) {
  // The raw system call skips the C library's fork handlers, which take
  // locks (the tracker's, malloc's) that the faulting thread may hold.
  const long child = syscall(SYS_fork);
  if (child < 0) return false;
  if (child == 0) {
    for (int signal_number : FATAL_SIGNALS) SetDefaultAction(signal_number);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    WriteResolvedReport(count);
    _exit(0);
  }
  const pid_t helper = static_cast<pid_t>(child);
  for (long waited = 0;; waited += HELPER_POLL_MS) {
    int status = 0;
    const pid_t done = waitpid(helper, &status, WNOHANG);
    if (done == helper) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0 && errno != EINTR) return true;  // reaped by another handler: it has ended
    if (waited >= HELPER_WAIT_MS) {
      kill(helper, SIGKILL);
      waitpid(helper, &status, 0);
      return false;
    }
    SleepMilliseconds(HELPER_POLL_MS);
  }
}

void OnFault(int signal_number, siginfo_t*, void* ucontext) {
  const std::int32_t me = CurrentThreadId();
  std::int32_t owner = 0;
  if (!g_fault_owner.compare_exchange_strong(owner, me)) {
    if (owner == me) DieBySignal(signal_number);  // a fault inside the report
    for (;;) SleepMilliseconds(1000);
  }
  const int count = CaptureFaultStack(ucontext);
  if (!RunResolvingHelper(count)) WriteRawReport(count);
  DieBySignal(signal_number);
}

}  // namespace

void InstallTrackerCrashFilter() {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  for (int blocked : FATAL_SIGNALS) sigaddset(&action.sa_mask, blocked);
  for (int signal_number : FATAL_SIGNALS) sigaction(signal_number, &action, nullptr);
}

void RemoveTrackerCrashFilter() {
  for (int signal_number : FATAL_SIGNALS) {
    struct sigaction current;
    if (sigaction(signal_number, nullptr, &current) != 0) continue;
    if ((current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == OnFault) {
      SetDefaultAction(signal_number);
    }
  }
}

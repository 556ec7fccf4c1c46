#include "foundation/thread_capture.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

enum SlotState : int { SLOT_FREE, SLOT_REQUESTED, SLOT_CAPTURED, SLOT_LEFT };

struct CaptureSlot {
  std::atomic<std::int32_t> tid{0};
  std::atomic<int> state{SLOT_FREE};
  ThreadRegisters registers;
};

CaptureSlot g_slots[THREAD_CAPTURE_CAPACITY];
ThreadRegisters g_captured[THREAD_CAPTURE_CAPACITY];
std::atomic<int> g_slotcount{0};
std::atomic<bool> g_handler_installed{false};
std::atomic<bool> g_capturing{false};
std::atomic<bool> g_release{false};

void SleepMilliseconds(long ms) {
  timespec pause{0, ms * 1000000L};
  nanosleep(&pause, nullptr);
}

void OnCaptureSignal(int, siginfo_t*, void* context) {
  const int saved_errno = errno;
  if (g_capturing.load(std::memory_order_acquire)) {
    const std::int32_t me = CurrentThreadId();
    const int slots = g_slotcount.load(std::memory_order_acquire);
    for (int i = 0; i < slots; ++i) {
      CaptureSlot& slot = g_slots[i];
      if (slot.tid.load(std::memory_order_relaxed) != me) continue;
      if (slot.state.load(std::memory_order_acquire) != SLOT_REQUESTED) break;
      RegistersFromContext(context, &slot.registers);
      slot.registers.tid = me;
      slot.state.store(SLOT_CAPTURED, std::memory_order_release);
      while (!g_release.load(std::memory_order_acquire)) SleepMilliseconds(1);
      slot.state.store(SLOT_LEFT, std::memory_order_release);
      break;
    }
  }
  errno = saved_errno;
}

// Fills g_slots with the ids of the other threads; returns their number.
int ListOtherThreads(std::int32_t me) {
  const int fd = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  int count = 0;
  alignas(8) char buffer[4096];
  for (;;) {
    const long got = syscall(SYS_getdents64, fd, buffer, sizeof(buffer));
    if (got <= 0) break;
    for (long offset = 0; offset < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
      offset += entry->d_reclen;
      std::int32_t tid = 0;
      const char* name = entry->d_name;
      if (*name < '0' || *name > '9') continue;
      for (; *name >= '0' && *name <= '9'; ++name) tid = tid * 10 + (*name - '0');
      if (tid == me || count >= THREAD_CAPTURE_CAPACITY) continue;
      g_slots[count].tid.store(tid, std::memory_order_relaxed);
      g_slots[count].state.store(SLOT_REQUESTED, std::memory_order_relaxed);
      ++count;
    }
  }
  close(fd);
  return count;
}

}  // namespace

int ThreadCaptureSignal() { return SIGRTMAX - 6; }

std::int32_t CurrentThreadId() { return static_cast<std::int32_t>(syscall(SYS_gettid)); }

void InstallThreadCaptureHandler() {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_sigaction = OnCaptureSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
  sigemptyset(&action.sa_mask);
  if (sigaction(ThreadCaptureSignal(), &action, nullptr) == 0) g_handler_installed.store(true);
}

void RegistersFromContext(const void* ucontext, ThreadRegisters* out) {
  const auto* context = static_cast<const ucontext_t*>(ucontext);
  static_assert(sizeof(out->gregs) == sizeof(context->uc_mcontext.gregs));
  std::memcpy(out->gregs, context->uc_mcontext.gregs, sizeof(out->gregs));
  out->has_fpstate = context->uc_mcontext.fpregs != nullptr;
  if (out->has_fpstate) {
    static_assert(sizeof(out->fpstate) == sizeof(*context->uc_mcontext.fpregs));
    std::memcpy(out->fpstate, context->uc_mcontext.fpregs, sizeof(out->fpstate));
  } else {
    std::memset(out->fpstate, 0, sizeof(out->fpstate));
  }
}

int SuspendOtherThreads(const ThreadRegisters** threads) {
  *threads = g_captured;
  // Without the handler the signal's default action would end the process.
  if (!g_handler_installed.load()) return 0;
  const std::int32_t me = CurrentThreadId();
  const pid_t pid = getpid();
  g_release.store(false, std::memory_order_release);
  const int slots = ListOtherThreads(me);
  g_slotcount.store(slots, std::memory_order_release);
  g_capturing.store(true, std::memory_order_seq_cst);
  for (int i = 0; i < slots; ++i) {
    if (syscall(SYS_tgkill, pid, g_slots[i].tid.load(), ThreadCaptureSignal()) != 0) {
      g_slots[i].state.store(SLOT_FREE, std::memory_order_relaxed);
    }
  }
  for (int waited = 0; waited < 1000; ++waited) {
    bool pending = false;
    for (int i = 0; i < slots; ++i) {
      pending = pending || g_slots[i].state.load(std::memory_order_acquire) == SLOT_REQUESTED;
    }
    if (!pending) break;
    SleepMilliseconds(1);
  }
  int count = 0;
  for (int i = 0; i < slots; ++i) {
    if (g_slots[i].state.load(std::memory_order_acquire) == SLOT_CAPTURED) {
      g_captured[count++] = g_slots[i].registers;
    }
  }
  *threads = g_captured;
  return count;
}

void ResumeOtherThreads() {
  g_release.store(true, std::memory_order_release);
  const int slots = g_slotcount.load(std::memory_order_acquire);
  for (int waited = 0; waited < 1000; ++waited) {
    bool inside = false;
    for (int i = 0; i < slots; ++i) {
      inside = inside || g_slots[i].state.load(std::memory_order_acquire) == SLOT_CAPTURED;
    }
    if (!inside) break;
    SleepMilliseconds(1);
  }
  g_capturing.store(false, std::memory_order_seq_cst);
  g_slotcount.store(0, std::memory_order_release);
  for (int i = 0; i < slots; ++i) {
    g_slots[i].tid.store(0, std::memory_order_relaxed);
    g_slots[i].state.store(SLOT_FREE, std::memory_order_relaxed);
  }
}

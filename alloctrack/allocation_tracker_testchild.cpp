// A program linked with the allocation tracker that allocates, leaks and
// crashes in the ways the tracker tests ask for:
//   allocation_tracker_testchild <mode>
// It prints "thread <id>" first; the tracker's report texts go to standard
// output through the report sink. At the very end, after the exit report,
// it prints "after report: fault handling default" or "... installed".
// Lines marked "SITE:" are found by the tests to know the expected lines.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "alloctrack/allocation_tracker.h"
#include "foundation/crash_handlers.h"
#include "foundation/thread_capture.h"

namespace {

void Print(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(1, text.data() + done, text.size() - done);
    if (written <= 0) return;
    done += static_cast<std::size_t>(written);
  }
}

void WriteReportText(std::string_view text) { Print(std::string(text)); }

// Keeps the compiler from eliding an allocation whose block is not used.
template <typename T>
T* Keep(T* block) {
  asm volatile("" : : "r"(block) : "memory");
  return block;
}

char* g_early_block = nullptr;  // allocated before the tracker starts
char* g_kept[64];
volatile int g_two = 2;

void ReportFaultHandlingAfterReport() {
  struct sigaction current;
  sigaction(SIGSEGV, nullptr, &current);
  const bool standard = (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
  Print(standard ? "after report: fault handling default\n"
                 : "after report: fault handling installed\n");
}

// Runs from .preinit_array, before any static object is constructed: the
// block is untracked, and the exit-time check is registered before the
// tracker's exit report, so it runs after it.
void EarlyStart(int, char**, char**) {
  g_early_block = Keep(new char[33]);
  SetAllocationReportSink(WriteReportText);
  std::atexit(ReportFaultHandlingAfterReport);
}
__attribute__((section(".preinit_array"), used)) void (*const g_early_start)(int, char**,
                                                                             char**) = EarlyStart;

__attribute__((noinline)) char* NewSixteen() {
  return Keep(new char[16]);  // SITE: leak-two
}

__attribute__((noinline)) void LeakTwoBlocks() {
  for (int i = 0; i < g_two; ++i) g_kept[i] = NewSixteen();  // SITE: leak-two caller
}

struct alignas(64) Aligned {
  char bytes[64];
};

void FreeEverything() {
  delete Keep(new int(1));
  delete[] Keep(new int[5]);
  ::operator delete(Keep(::operator new(24)), 24);
  ::operator delete[](Keep(::operator new[](40)), 40);
  delete Keep(new (std::nothrow) int(2));
  delete[] Keep(new (std::nothrow) int[3]);
  delete Keep(new Aligned);
  delete[] Keep(new Aligned[3]);
  ::operator delete(Keep(::operator new(128, std::align_val_t(128))), std::align_val_t(128));
  ::operator delete(Keep(::operator new(100, std::align_val_t(64), std::nothrow)),
                    std::align_val_t(64), std::nothrow);
  ::operator delete[](Keep(::operator new[](100, std::align_val_t(64), std::nothrow)),
                      std::align_val_t(64), std::nothrow);
  ::operator delete(Keep(::operator new(8, std::nothrow)), std::nothrow);
  ::operator delete[](Keep(::operator new[](8, std::nothrow)), std::nothrow);
  ::operator delete(Keep(::operator new(256, std::align_val_t(256))), 256, std::align_val_t(256));
  ::operator delete[](Keep(::operator new[](256, std::align_val_t(32))), 256, std::align_val_t(32));
  ::operator delete[](Keep(::operator new[](48, std::align_val_t(32))), std::align_val_t(32));
  std::vector<std::string> texts;
  for (int i = 0; i < 100; ++i) texts.push_back(std::string(40, static_cast<char>('a' + i % 26)));
  auto shared = std::make_shared<std::vector<int>>(1000, 7);
  std::thread worker([shared] {
    std::vector<std::unique_ptr<int>> numbers;
    for (int i = 0; i < 1000; ++i) numbers.push_back(std::make_unique<int>(i));
  });
  worker.join();
}

// Leaks one block through each form of new, largest size first; the report
// lists them by size.
void LeakEveryForm() {
  g_kept[0] = static_cast<char*>(Keep(::operator new[](108, std::align_val_t(64), std::nothrow)));
  g_kept[1] = static_cast<char*>(Keep(::operator new(107, std::align_val_t(64), std::nothrow)));
  g_kept[2] = static_cast<char*>(Keep(::operator new[](106, std::align_val_t(64))));
  g_kept[3] = static_cast<char*>(Keep(::operator new(105, std::align_val_t(64))));
  g_kept[4] = Keep(new (std::nothrow) char[104]);
  g_kept[5] = static_cast<char*>(Keep(::operator new(103, std::nothrow)));
  g_kept[6] = Keep(new char[102]);
  g_kept[7] = static_cast<char*>(Keep(::operator new(101)));
}

// The address of a malloc block, hidden from the compiler's new/delete
// pairing checks.
void* Launder(void* block) {
  asm volatile("" : "+r"(block));
  return block;
}

void DeleteMallocBlock() {
  void* block = Launder(std::malloc(24));  // SITE: malloc-block
  char text[64];
  std::snprintf(text, sizeof(text), "block %p\n", block);
  Print(text);
  ::operator delete(block);  // SITE: malloc-delete
}

void DeleteEarlyBlock() {
  char text[64];
  std::snprintf(text, sizeof(text), "block %p\n", static_cast<void*>(g_early_block));
  Print(text);
  delete[] g_early_block;  // SITE: early-delete
}

constexpr int WORKERS = 4;
constexpr int ROUNDS = 20000;
constexpr int SLOTS = 64;
std::atomic<char*> g_slots[SLOTS];
std::atomic<int> g_leaked{0};

__attribute__((noinline)) void LeakFromWorker(int size) {
  g_kept[g_leaked.fetch_add(1)] = Keep(new char[size]);
}

// Blocks change hands between threads through the slots; each worker leaks
// 2 * (index + 1) blocks of size 200 + index.
void Worker(int index) {
  for (int i = 0; i < ROUNDS; ++i) {
    char* block = Keep(new char[8 + i % 64]);
    delete[] g_slots[(i * 7 + index) % SLOTS].exchange(block);
  }
  for (int i = 0; i < 2 * (index + 1); ++i) LeakFromWorker(200 + index);
}

void RunWorkers() {
  std::vector<std::thread> workers;
  for (int i = 0; i < WORKERS; ++i) workers.emplace_back(Worker, i);
  for (std::thread& worker : workers) worker.join();
  for (std::atomic<char*>& slot : g_slots) delete[] slot.exchange(nullptr);
}

std::atomic<bool> g_stop{false};

void Churn() {
  while (!g_stop.load()) delete[] Keep(new char[48]);
}

// Children forked while other threads allocate must find the tracker usable;
// a child that hangs is ended by its alarm, and the first failure ends the
// loop. The last child leaks a block and exits normally, so it prints a
// report of its own.
void ForkWhileAllocating() {
  std::vector<std::thread> churners;
  for (int i = 0; i < 2; ++i) churners.emplace_back(Churn);
  int failures = 0;
  for (int i = 0; i < 200; ++i) {
    const pid_t child = fork();
    if (child == 0) {
      alarm(20);
      delete[] Keep(new char[40]);
      _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      ++failures;
      break;
    }
  }
  const pid_t last = fork();
  if (last == 0) {
    alarm(20);
    Print("child thread " + std::to_string(CurrentThreadId()) + "\n");
    g_kept[0] = Keep(new char[77]);
    std::exit(0);
  }
  int status = 0;
  waitpid(last, &status, 0);
  g_stop.store(true);
  for (std::thread& churner : churners) churner.join();
  Print("failed forks " + std::to_string(failures) + "\n");
}

volatile int* volatile g_null = nullptr;

__attribute__((noinline)) void CrashOnPurpose() {
  *g_null = 1;  // SITE: crash
  Print("not reached\n");
}

}  // namespace

int main(int argc, char** argv) {
  Print("thread " + std::to_string(CurrentThreadId()) + "\n");
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "clean") {
    FreeEverything();
  } else if (mode == "leak-two") {
    LeakTwoBlocks();
  } else if (mode == "forms") {
    LeakEveryForm();
  } else if (mode == "malloc-delete") {
    DeleteMallocBlock();
  } else if (mode == "early-delete") {
    DeleteEarlyBlock();
  } else if (mode == "threads") {
    RunWorkers();
  } else if (mode == "fork") {
    ForkWhileAllocating();
  } else if (mode == "crash") {
    CrashOnPurpose();
  } else if (mode == "crash-installed") {
    InstallCrashHandlers();
    CrashOnPurpose();
  } else if (mode == "installed") {
    InstallCrashHandlers();
    FinishCrashHandlers();
  } else {
    Print("unknown mode\n");
    return 2;
  }
  return 0;
}

#include "foundation/crash_handlers.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>

#include "foundation/crash_internal.h"
#include "foundation/debugger_presence.h"
#include "foundation/dump_names.h"
#include "foundation/fatal_error_box.h"
#include "foundation/log.h"
#include "foundation/minidump_writer.h"
#include "foundation/raw_text.h"
#include "foundation/thread_capture.h"

namespace {

constexpr int FATAL_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int CONSOLE_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t ALTERNATE_STACK_SIZE = 64 * 1024;
constexpr int GUARDED_EXIT_CODE = 255;  // -1 as the process's exit status

std::atomic<bool> g_installed{false};
std::atomic<bool> g_exit_check_armed{false};
std::atomic<bool> g_filter_entered{false};
std::atomic<bool> g_startup_written{false};
std::atomic<bool> g_fatal_handling_on{false};
std::atomic<bool> g_abort_after_report{false};
// The thread that runs a crash path (dump writing); 0 when none. Other
// threads that fault meanwhile wait for it.
std::atomic<std::int32_t> g_crash_owner{0};
char g_startup_name[256];  // written once before g_fatal_handling_on is set

thread_local bool t_guarded = false;

// The alternate signal stack of a thread, released when the thread ends.
struct AlternateStack {
  ~AlternateStack() {
    if (memory == nullptr) return;
    stack_t disable{};
    disable.ss_flags = SS_DISABLE;
    sigaltstack(&disable, nullptr);
    munmap(memory, size);
  }
  void* memory = nullptr;
  std::size_t size = 0;
};

thread_local AlternateStack t_alternate_stack;

void SleepMilliseconds(long ms) {
  timespec pause{0, ms * 1000000L};
  nanosleep(&pause, nullptr);
}

// Takes the crash path for the calling thread, waiting while another
// thread holds it. False when the caller holds it already (a fault inside
// the crash path).
bool AcquireCrashPath() {
  const std::int32_t me = CurrentThreadId();
  for (;;) {
    std::int32_t expected = 0;
    if (g_crash_owner.compare_exchange_strong(expected, me)) return true;
    if (expected == me) return false;
    SleepMilliseconds(10);
  }
}

void ReleaseCrashPath() { g_crash_owner.store(0); }

// Lets the signal's default action end the process.
void DieBySignal(int signal_number) {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal_number);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);
}

void WriteDumpFile(int fd, const void* context, const DumpCause& cause) {
  if (fd < 0) return;
  WriteMinidump(fd, context, cause);
  close(fd);
}

// The process-wide unhandled-exception filter: one dump per process.
void RunProcessFilter(const void* context, const DumpCause& cause) {
  if (g_filter_entered.exchange(true)) return;
  RawText name;
  WriteDumpFile(CreateFilterDumpFile(&name), context, cause);
}

bool WriteStartupDumpFrom(const void* context, const DumpCause& cause) {
  if (!g_fatal_handling_on.load() || g_startup_written.exchange(true)) return false;
  const int fd = open(g_startup_name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  WriteDumpFile(fd, context, cause);
  return true;
}

// The dump of a guarded fault, the box, and the end of the process.
[[noreturn]] void EndGuardedFault(const void* context, const DumpCause& cause) {
  WriteStartupDumpFrom(context, cause);
  ShowFatalErrorBox();
  _exit(GUARDED_EXIT_CODE);
}

std::uint64_t InstructionPointer(const void* context) {
  return static_cast<std::uint64_t>(
      static_cast<const ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
}

void OnFatalSignal(int signal_number, siginfo_t* info, void* context) {
  if (signal_number == SIGABRT && g_abort_after_report.load()) DieBySignal(signal_number);
  if (!AcquireCrashPath()) DieBySignal(signal_number);
  DumpCause cause{signal_number, info != nullptr ? info->si_code : 0, InstructionPointer(context)};
  if (info != nullptr && (signal_number == SIGSEGV || signal_number == SIGBUS)) {
    cause.address = reinterpret_cast<std::uint64_t>(info->si_addr);
  }
  if (t_guarded && g_fatal_handling_on.load()) EndGuardedFault(context, cause);
  RunProcessFilter(context, cause);
  DieBySignal(signal_number);
}

// The control types of the console events that these signals stand for.
int ControlType(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return 0;  // CTRL_C_EVENT
    case SIGHUP:
      return 2;  // CTRL_CLOSE_EVENT: the terminal went away
    default:
      return 6;  // CTRL_SHUTDOWN_EVENT (SIGTERM)
  }
}

// Runs in a signal handler: the line goes to standard output directly,
// without the log lock or the system log.
void OnConsoleSignal(int signal_number) {
  RawText line;
  line.Append("Console Window event handler called for CtrlType=")
      .AppendDecimal(ControlType(signal_number));
  RawWriteLine(1, line.Text());
  g_exit_check_armed.store(false);
  DieBySignal(signal_number);
}

void RunExitCheck() {
  if (g_exit_check_armed.load()) WriteDumpNow();
}

// std::terminate stands in for the runtime's invalid-parameter report. An
// exception that leaves a guarded body (CrashGuard with a noexcept body)
// arrives here before any unwinding, so the dump shows where it was thrown;
// it is a guarded fault.
[[noreturn]] void OnTerminate() {
  if (t_guarded && g_fatal_handling_on.load() && AcquireCrashPath()) {
    ucontext_t context;
    getcontext(&context);
    EndGuardedFault(&context, DumpCause{SIGABRT, 0, InstructionPointer(&context)});
  }
  WriteDumpNow();
  LogPrintfW(L"Invalid Parameter Handler> function=%ls, file=%ls, line=%d", L"NULL", L"NULL", 0);
  AbortAfterReport();
}

void InstallSignal(int signal_number, void (*handler)(int, siginfo_t*, void*)) {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_sigaction = handler;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int blocked : FATAL_SIGNALS) sigaddset(&action.sa_mask, blocked);
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

void AbortAfterReport() {
  g_abort_after_report.store(true);
  std::abort();
}

void PrepareThreadForCrashReports() {
  stack_t current{};
  if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return;
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t size = ALTERNATE_STACK_SIZE + page;  // the lowest page guards
  void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return;
  mprotect(memory, page, PROT_NONE);
  stack_t stack{};
  stack.ss_sp = static_cast<char*>(memory) + page;
  stack.ss_size = ALTERNATE_STACK_SIZE;
  if (sigaltstack(&stack, nullptr) != 0) {
    munmap(memory, size);
    return;
  }
  t_alternate_stack.memory = memory;
  t_alternate_stack.size = size;
}

void InstallCrashHandlers() {
  if (g_installed.exchange(true)) return;
  g_exit_check_armed.store(true);
  PrepareMinidumpWriter();
  SetRawStandardOutputWide(LogIsRedirected());
  PrepareThreadForCrashReports();
  InstallThreadCaptureHandler();
  for (int signal_number : FATAL_SIGNALS) InstallSignal(signal_number, OnFatalSignal);
  std::atexit(RunExitCheck);
  std::set_terminate(OnTerminate);
  for (int signal_number : CONSOLE_SIGNALS) {
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = OnConsoleSignal;
    sigemptyset(&action.sa_mask);
    for (int blocked : CONSOLE_SIGNALS) sigaddset(&action.sa_mask, blocked);
    sigaction(signal_number, &action, nullptr);
  }
}

void FinishCrashHandlers() { g_exit_check_armed.store(false); }

void NameStartupDump(const char* application_name) {
  if (IsDebuggerAttached() || g_fatal_handling_on.load()) return;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string name = FormatStartupDumpName(application_name, CRASH_BUILD_NUMBER, local);
  std::strncpy(g_startup_name, name.c_str(), sizeof(g_startup_name) - 1);
  g_fatal_handling_on.store(true);
}

const char* StartupDumpName() { return g_fatal_handling_on.load() ? g_startup_name : ""; }

bool WriteStartupDump() {
  if (!AcquireCrashPath()) return false;
  ucontext_t context;
  getcontext(&context);
  const bool written =
      WriteStartupDumpFrom(&context, DumpCause{SIGABRT, 0, InstructionPointer(&context)});
  ReleaseCrashPath();
  return written;
}

void WriteDumpNow() {
  if (!AcquireCrashPath()) return;
  if (!g_filter_entered.load()) {
    ucontext_t context;
    getcontext(&context);
    RunProcessFilter(&context, DumpCause{SIGTRAP, 0, InstructionPointer(&context)});
  }
  ReleaseCrashPath();
}

CrashGuard::CrashGuard() : m_previous(t_guarded) {
  PrepareThreadForCrashReports();
  t_guarded = true;
}

CrashGuard::~CrashGuard() { t_guarded = m_previous; }

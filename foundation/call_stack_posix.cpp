#include "foundation/call_stack.h"

#define UNW_LOCAL_ONLY
#include <cxxabi.h>
#include <elfutils/libdwfl.h>
#include <libunwind.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "foundation/log.h"

namespace {

constexpr std::size_t RAW_LINE_LIMIT = 510;  // no address is added once the text is longer
constexpr std::size_t RAW_LINE_CAPACITY = 511;

// The symbol engine: set up on first use and kept for the process. The
// module list is refreshed on every use so that libraries loaded later
// resolve too.
struct SymbolEngine {
  std::mutex lock;
  Dwfl* dwfl = nullptr;
  bool failed = false;
  Dwfl_Callbacks callbacks{};
  char* debuginfo_path = nullptr;
};

SymbolEngine& Engine() {
  static SymbolEngine* engine = new SymbolEngine;
  return *engine;
}

// REQUIRES: engine.lock held. Null when libdw cannot serve.
Dwfl* RefreshEngine(SymbolEngine& engine) {
  if (engine.failed) return nullptr;
  if (engine.dwfl == nullptr) {
    engine.callbacks.find_elf = dwfl_linux_proc_find_elf;
    engine.callbacks.find_debuginfo = dwfl_standard_find_debuginfo;
    engine.callbacks.debuginfo_path = &engine.debuginfo_path;
    engine.dwfl = dwfl_begin(&engine.callbacks);
    if (engine.dwfl == nullptr) {
      engine.failed = true;
      return nullptr;
    }
  }
  dwfl_report_begin_add(engine.dwfl);
  const int reported = dwfl_linux_proc_report(engine.dwfl, getpid());
  dwfl_report_end(engine.dwfl, nullptr, nullptr);
  if (reported != 0) return nullptr;
  return engine.dwfl;
}

std::string Demangle(const char* name) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  if (status != 0 || demangled == nullptr) return name;
  std::string result(demangled);
  std::free(demangled);
  return result;
}

ResolvedFrame ResolveWith(Dwfl* dwfl, std::uintptr_t address, bool return_address) {
  ResolvedFrame frame;
  if (dwfl == nullptr) return frame;
  const Dwarf_Addr lookup = return_address && address > 0 ? address - 1 : address;
  Dwfl_Module* module = dwfl_addrmodule(dwfl, lookup);
  if (module == nullptr) return frame;
  const char* main_file = nullptr;
  const char* name =
      dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, &main_file, nullptr);
  if (main_file != nullptr) {
    frame.module = main_file;
  } else if (name != nullptr) {
    frame.module = name;
  }
  if (const char* symbol = dwfl_module_addrname(module, lookup)) {
    std::string name(symbol);
    name = name.substr(0, name.find('@'));  // drop a symbol version ("@@GLIBC_2.34")
    frame.function = Demangle(name.c_str());
  }
  if (Dwfl_Line* line = dwfl_module_getsrc(module, lookup)) {
    int line_number = 0;
    if (const char* file = dwfl_lineinfo(line, nullptr, &line_number, nullptr, nullptr, nullptr)) {
      frame.file = file;
      frame.line = line_number;
    }
  }
  return frame;
}

}  // namespace

__attribute__((noinline)) int CaptureCallStack(std::uintptr_t* frames, int capacity) {
  void* addresses[CALL_STACK_FRAME_LIMIT + 1];
  const int limit =
      capacity + 1 < CALL_STACK_FRAME_LIMIT + 1 ? capacity + 1 : CALL_STACK_FRAME_LIMIT + 1;
  const int got = unw_backtrace(addresses, limit);
  // addresses[0] is this function.
  int count = 0;
  for (int i = 1; i < got && count < capacity; ++i) {
    frames[count++] = reinterpret_cast<std::uintptr_t>(addresses[i]);
  }
  return count;
}

std::string FormatCallStackAddresses(const std::uintptr_t* frames, int count) {
  std::string text;
  for (int i = 0; i < count && text.size() <= RAW_LINE_LIMIT; ++i) {
    char address[24];
    std::snprintf(address, sizeof(address), "%llx ", static_cast<unsigned long long>(frames[i]));
    text += address;
  }
  if (text.size() > RAW_LINE_CAPACITY) text.resize(RAW_LINE_CAPACITY);
  return text;
}

ResolvedFrame ResolveFrame(std::uintptr_t address, bool return_address) {
  SymbolEngine& engine = Engine();
  std::lock_guard<std::mutex> guard(engine.lock);
  return ResolveWith(RefreshEngine(engine), address, return_address);
}

__attribute__((noinline)) void LogCallStack(bool resolve) {
  std::lock_guard<std::recursive_mutex> log_guard(LogLock());
  std::uintptr_t frames[CALL_STACK_FRAME_LIMIT];
  const int count = CaptureCallStack(frames, CALL_STACK_FRAME_LIMIT);
  LogPrintf("callstack: %s", FormatCallStackAddresses(frames, count).c_str());
  if (!resolve) return;
  SymbolEngine& engine = Engine();
  std::lock_guard<std::mutex> engine_guard(engine.lock);
  Dwfl* dwfl = RefreshEngine(engine);
  for (int i = 0; i < count; ++i) {
    const ResolvedFrame frame = ResolveWith(dwfl, frames[i], i > 0);
    LogPrintf("  %s %s [%s:%d]", frame.module.c_str(), frame.function.c_str(), frame.file.c_str(),
              frame.line);
  }
}

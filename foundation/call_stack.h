// Call stacks of the calling thread: captured with libunwind, resolved to
// module, function and file:line with libdw, logged in two forms:
//   "callstack: " and the return addresses, each as "%llx " (at most 511
//   characters; no address is added once the text passes 510), and
//   "  <module> <function> [<file>:<line>]" per frame.
#pragma once

#include <cstdint>
#include <string>

constexpr int CALL_STACK_FRAME_LIMIT = 64;

// The instruction addresses of the caller's frames, innermost first (the
// caller itself is frames[0]). Returns how many were stored.
int CaptureCallStack(std::uintptr_t* frames, int capacity);

// The text after "callstack: ".
std::string FormatCallStackAddresses(const std::uintptr_t* frames, int count);

struct ResolvedFrame {
  std::string module;    // path of the image, "" when unknown
  std::string function;  // demangled, "" when unknown
  std::string file;      // source file, "" when unknown
  int line = 0;
};

// Resolves one address. A return address (every frame but the innermost)
// is looked up one byte earlier, inside the call instruction. Unknown
// parts stay empty / 0.
ResolvedFrame ResolveFrame(std::uintptr_t address, bool return_address);

// Logs the raw line and, when resolve is set, one line per frame, all under
// the log lock.
void LogCallStack(bool resolve);

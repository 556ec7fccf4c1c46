// Our own writer of minidumps (docs/crash-dumps.md): system information,
// every thread with its registers and stack, the loaded modules with their
// build ids, the cause, and the memory around the addresses found in
// registers. Everything runs on fixed storage with async-signal-safe calls,
// so that it can be called from a signal handler.
#pragma once

#include <cstdint>

struct DumpCause {
  int signal_number;      // SIGSEGV, ...; SIGTRAP for a dump on request
  int signal_code;        // si_code
  std::uint64_t address;  // the faulting address, or the instruction pointer
};

// Gathers what the writer cannot gather in a signal handler (processor
// count and identification). Called once by InstallCrashHandlers; a dump
// written before simply lacks those figures.
void PrepareMinidumpWriter();

// Writes a dump of the process into fd (open for writing, at offset 0).
// `context` is the ucontext_t of the calling thread at the point to record.
// REQUIRES: one writer at a time. Stops the other threads while it runs and
// lets them go before it returns. False when the file is incomplete.
bool WriteMinidump(int fd, const void* context, const DumpCause& cause);

// The names of crash dump files. Both are relative: dumps land in the
// working directory of the moment.
#pragma once

#include <ctime>
#include <string>

#include "foundation/raw_text.h"

// The process-wide filter's number in "Kestro-42011.dmp".
constexpr int CRASH_FILTER_DUMP_NUMBER = 42011;

// "<application>-v<build>-YYYY.MM.DD-HH.MM.SS.dmp" from the local time.
std::string FormatStartupDumpName(const char* application, const char* build,
                                  const std::tm& local_time);

// Attempt 1 is "Kestro-42011.dmp", attempt n > 1 "Kestro-42011_n.dmp".
// Async-signal-safe.
void FormatFilterDumpName(int attempt, RawText* name);

// Creates the first filter dump name that does not exist yet, exclusively
// (O_EXCL, mode 0600). Returns the open descriptor and the name, or -1 when
// no file can be made (the directory is not writable, ...).
// Async-signal-safe.
int CreateFilterDumpFile(RawText* name);

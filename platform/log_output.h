// The operating-system side of the diagnostic log: the launcher's FIFO, the
// standard-output descriptor and the debugger channel (the system log).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace OS {

// Opens the FIFO at `path` for writing, or returns -1. Accepted only when the
// path itself (links are not followed) is a FIFO owned by our effective user
// and a reader holds it open; the open never blocks. The descriptor is
// close-on-exec and blocking for writes.
int OpenOwnedFifoForWriting(const std::string& path);

// Makes `fd` the process's standard output (fd 1) and closes `fd`.
bool InstallAsStandardOutput(int fd);

// Points fd 1 at /dev/null, which closes what it held before.
void DetachStandardOutput();

// Writes all bytes to fd 1 as far as it takes them; failures are ignored and
// a closed reader does not raise SIGPIPE: the signal is blocked on this
// thread for the write and a SIGPIPE the write caused is consumed, so the
// process's signal disposition is never changed.
void WriteStandardOutput(const char* data, std::size_t size);

// One record on the system log at LOG_DEBUG.
void WriteDebugChannel(std::string_view text);

}  // namespace OS

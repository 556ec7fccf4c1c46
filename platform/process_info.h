// Identity and clock of the running process.
#pragma once

#include <cstdint>

namespace OS {

int CurrentProcessId();

// Milliseconds since an arbitrary start (boot), wrapping at 2^32 like
// GetTickCount.
std::uint32_t TickCount32();

}  // namespace OS

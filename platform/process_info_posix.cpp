#include "platform/process_info.h"

#include <time.h>
#include <unistd.h>

namespace OS {

int CurrentProcessId() { return static_cast<int>(getpid()); }

std::uint32_t TickCount32() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

}  // namespace OS

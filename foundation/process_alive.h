// Whether a process id names a process that still runs.
#pragma once

#include <cstdint>

// False for ids <= 0, for processes that do not exist and for processes
// that have ended but not been reaped (zombies). A process of another user
// that exists counts as running.
bool IsProcessRunning(std::int32_t process_id);

#include "foundation/process_alive.h"

#include <errno.h>
#include <signal.h>

#include <fstream>
#include <string>

bool IsProcessRunning(std::int32_t process_id) {
  if (process_id <= 0) return false;
  if (kill(process_id, 0) != 0 && errno != EPERM) return false;
  // "pid (name) S ...": the state follows the last ')'.
  std::ifstream stat("/proc/" + std::to_string(process_id) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return true;
  const char state = line[close + 2];
  return state != 'Z' && state != 'X';
}

#include "foundation/debugger_presence.h"

#include <fstream>
#include <string>

bool IsDebuggerAttached() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::stoi(line.substr(10)) != 0;
  }
  return false;
}

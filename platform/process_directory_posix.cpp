#include "platform/process_directory.h"

#include <unistd.h>

#include <climits>

namespace OS {

std::string GetExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return std::string();
  return std::string(buffer, static_cast<size_t>(length));
}

bool SetWorkingDirectory(const std::string& path) { return chdir(path.c_str()) == 0; }

}  // namespace OS

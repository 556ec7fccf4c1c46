// The running program's own file and the process's working directory.
#pragma once

#include <string>

namespace OS {

// The absolute path of the running executable (links resolved); "" when the
// system cannot tell.
std::string GetExecutablePath();

// Makes path the working directory; false when it cannot.
bool SetWorkingDirectory(const std::string& path);

}  // namespace OS

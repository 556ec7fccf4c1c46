// Quoting one argument for a command line that is split by the Windows rules
// (platform/windows_command_line.h), so that any path comes back unchanged.
#pragma once

#include <string>
#include <string_view>

namespace BramPatch {

// `argument` enclosed in double quotes. A quote inside becomes \" and the
// backslashes before a quote (or before the closing quote) are doubled; all
// other characters stay as they are, so an ordinary path p gives exactly
// "\"" + p + "\"". REQUIRES: not the program name (the first argument has no
// escapes at all), and no NUL in `argument`.
std::string QuoteWindowsArgument(std::string_view argument);

}  // namespace BramPatch

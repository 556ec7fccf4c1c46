// Splitting a Windows command line into arguments, as CommandLineToArgvW
// does, so that command lines built the Windows way ("\"exe\" \"a b\" c")
// can be started with posix_spawn.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The first argument (the program) ends at the first blank or tab outside
// quotes; quotes toggle and are removed; backslashes are literal there.
// The rest: 2n backslashes + quote -> n backslashes, quoting toggles;
// 2n+1 backslashes + quote -> n backslashes and a literal quote; other
// backslashes are literal; inside quotes "" is a literal quote; blanks and
// tabs outside quotes separate; "" outside quotes is an empty argument.
// An empty command line gives no arguments.
std::vector<std::string> SplitWindowsCommandLine(std::string_view command_line);

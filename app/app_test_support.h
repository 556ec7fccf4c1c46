// Stand-ins for the programs the patcher starts on its way out: elevation
// commands that record their arguments, run them or refuse, and on-exit
// programs that leave a mark.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/paths_test_support.h"

namespace BramPatch {

// Writes an executable shell script.
inline void WriteScript(const std::string& path, const std::string& body) {
  WriteTextFile(path, "#!/bin/sh\n" + body);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// An elevation command that writes each argument it gets on a line of
// `record` and ends with `exitCode` (126: the user declined).
inline void WriteElevationStub(const std::string& path, const std::string& record, int exitCode) {
  WriteScript(path, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + record + "\"\nexit " +
                        std::to_string(exitCode) + "\n");
}

// The lines a stub recorded.
inline std::vector<std::string> RecordedLines(const std::string& record) {
  std::vector<std::string> lines;
  std::string text = ReadTextFile(record);
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos;
       start = end + 1, end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

}  // namespace BramPatch

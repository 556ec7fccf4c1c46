#include "platform/windows_command_line.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitWindowsCommandLine(std::string_view line) {
  std::vector<std::string> args;
  if (line.empty()) return args;

  std::size_t i = 0;
  const std::size_t n = line.size();

  // The program name: quotes toggle, backslashes are plain characters.
  std::string program;
  for (bool quoted = false; i < n; ++i) {
    const char c = line[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && IsBlank(c)) {
      break;
    } else {
      program += c;
    }
  }
  args.push_back(std::move(program));

  for (;;) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n) {
      const char c = line[i];
      if (!quoted && IsBlank(c)) break;
      if (c == '\\') {
        std::size_t count = 0;
        while (i < n && line[i] == '\\') ++count, ++i;
        if (i < n && line[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2 == 1) {
            arg += '"';
            ++i;
          }
          // An even run leaves the quote to the branch below.
        } else {
          arg.append(count, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += c;
        ++i;
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

// Logs a fixed set of lines, for the tests of the start-up redirect into the
// launcher's FIFO. With the argument "steered" it logs "first" and then
// follows commands read from standard input, one byte each.
#include <unistd.h>

#include <string>

#include "foundation/log.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "steered") {
    LogPrintf("first");
    for (char command; read(STDIN_FILENO, &command, 1) == 1;) {
      if (command == 'l') LogPrintf("more");
      if (command == 's') LogShutdown();
    }
    return LogIsRedirected() ? 0 : 1;
  }
  LogPrintf("%s", "abc");
  LogPrintf("%s", "");
  LogPrintf("%s", std::string(40000, 'x').c_str());
  LogPrintfW(L"w %ls %d", L"\u00e9\u20ac\U0001F600", 5);
  return LogIsRedirected() ? 0 : 1;
}

// omvel-patcher-cli: the patcher in a terminal. The same command line as the
// window program, plus --yes to start local mode without asking.
#include <wx/init.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/console_front_end.h"
#include "foundation/crash_handlers.h"
#include "foundation/fatal_error_box.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  if (RunFatalErrorBoxIfRequested(argc, argv)) return 0;

  std::vector<std::string> args(argv, argv + argc);
  const auto yes = std::find(args.begin() + std::min<std::ptrdiff_t>(1, args.size()), args.end(),
                             std::string("--yes"));
  const bool assumeYes = yes != args.end();
  if (assumeYes) args.erase(yes);

  BramPatch::ConsoleOptions options;
  options.colour = OS::IsTerminal(1);
  options.progressBar = OS::IsTerminal(2);
  options.interactive = OS::IsTerminal(0) && OS::IsTerminal(2);
  BramPatch::ConsoleFrontEnd frontEnd(options);

  // Before any thread starts: Ctrl+C becomes a cancel request.
  OS::WatchInterruptSignals([&frontEnd](int signal) {
    if (BramPatch::ConsoleView* view = frontEnd.View()) {
      view->RequestCancel(signal == OS::InterruptSignalNumber());
    } else {
      std::_Exit(BramPatch::CLI_EXIT_NO_RUN);  // nothing started yet
    }
  });

  wxInitializer wx;
  if (!wx.IsOk()) {
    std::fprintf(stderr, "omvel-patcher-cli: wxBase could not be initialised\n");
    return BramPatch::CLI_EXIT_NO_RUN;
  }
  const int status = BramPatch::RunConsolePatcher(std::move(args), assumeYes, frontEnd);
  BramPatch::FinishStartup();
  return status;
}

#include "app/patcher_app.h"

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/on_exit_program.h"
#include "foundation/crash_handlers.h"
#include "foundation/fatal_error_box.h"
#include "ui/patch_main_frame.h"
#include "ui/wx_text.h"

namespace BramPatch {

bool OmvelPatcherApp::OnInit() {
  // The shared start-up installs the crash handlers and then takes the socket
  // manager (whose worker thread inherits them); FinishStartup undoes both.
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(FromWxString(argv[i]));
  const StartupResult startup = RunStartup(std::move(args), m_frontEnd);
  m_settings = startup.settings;

  switch (startup.outcome) {
    case StartupOutcome::FAILED:
      // An ordinary end without a window (the elevated copy took over, or the
      // installation cannot be written): no exit check fires.
      FinishStartup();
      return false;
    case StartupOutcome::START_RUN:
      Frame()->StartRun();
      break;
    case StartupOutcome::WAIT_FOR_USER:
    case StartupOutcome::NOTHING_TO_DO:
      break;
  }
  return true;
}

int OmvelPatcherApp::OnExit() {
  RunOnExitProgram(m_settings);
  FinishStartup();
  wxApp::OnExit();
  return 0;
}

void OmvelPatcherApp::OnFatalException() {
  WriteStartupDump();
  ShowFatalErrorBox();
  std::_Exit(-1);
}

void OmvelPatcherApp::OnUnhandledException() { std::terminate(); }

}  // namespace BramPatch

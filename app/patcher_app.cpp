#include "app/patcher_app.h"

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/on_exit_program.h"
#include "foundation/crash_handlers.h"
#include "foundation/fatal_error_box.h"
#include "repair/cp_socket_manager.h"
#include "ui/patch_main_frame.h"
#include "ui/wx_text.h"

namespace BramPatch {

bool OmvelPatcherApp::OnInit() {
  // Sockets need no start-up here. The handlers come before the socket
  // manager's worker thread, which inherits them.
  InstallCrashHandlers();
  AcquireSocketManager(1);
  m_holdsSocketManager = true;

  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(FromWxString(argv[i]));
  const StartupResult startup = RunStartup(std::move(args), m_frontEnd);
  m_settings = startup.settings;

  switch (startup.outcome) {
    case StartupOutcome::FAILED:
      // An ordinary end without a window (the elevated copy took over, or the
      // installation cannot be written): no exit check fires.
      ReleaseSocketManager();
      m_holdsSocketManager = false;
      FinishCrashHandlers();
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
  if (m_holdsSocketManager) ReleaseSocketManager();
  m_holdsSocketManager = false;
  FinishCrashHandlers();
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

// The application's fatal-exception hook, called the way the toolkit calls
// it after a fault:
//   fatal_exception_testchild
// names the start-up dump, then runs OmvelPatcherApp::OnFatalException. The
// box is the default one line on standard error (no helper is asked for).
#include "app/patcher_app.h"
#include "foundation/crash_handlers.h"

int main() {
  InstallCrashHandlers();
  NameStartupDump("patcher");
  BramPatch::OmvelPatcherApp app;
  app.OnFatalException();
  return 0;  // not reached: the hook ends the process
}

// omvel-patcher: the patch window.
#include <wx/app.h>

#include "app/fatal_error_window.h"
#include "app/patcher_app.h"
#include "foundation/crash_handlers.h"
#include "foundation/fatal_error_box.h"

wxIMPLEMENT_APP_NO_MAIN(BramPatch::OmvelPatcherApp);

namespace {

// The toolkit's whole life; an exception that leaves it is a guarded fault.
int RunToolkit(int argc, char** argv) noexcept { return wxEntry(argc, argv); }

}  // namespace

int main(int argc, char** argv) {
  SetFatalErrorBoxFunction(BramPatch::ShowFatalErrorWindow);
  if (RunFatalErrorBoxIfRequested(argc, argv)) return 0;
  CrashGuard guard;
  return RunToolkit(argc, argv);
}

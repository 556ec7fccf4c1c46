#include "app/fatal_error_window.h"

#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>

#include "ui/message_box.h"

namespace BramPatch {

void ShowFatalErrorWindow(const char* caption, const char* text) {
  static char program[] = "omvel-patcher";
  char* arguments[] = {program, nullptr};
  int count = 1;
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(count, arguments)) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return;
  }
  ShowOwnerlessMessageBox(text, caption, MESSAGEBOX_OK);
  wxEntryCleanup();
}

}  // namespace BramPatch

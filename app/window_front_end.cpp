#include "app/window_front_end.h"

#include <wx/app.h>

#include "app/elevated_relaunch.h"
#include "engine/patch_options.h"
#include "platform/process_directory.h"
#include "ui/message_box.h"
#include "ui/patch_main_frame.h"

namespace BramPatch {

void WindowFrontEnd::ShowStartupMessage(const std::string& text, const std::string& caption) {
  ShowOwnerlessMessageBox(text, caption, MESSAGEBOX_OK);
}

bool WindowFrontEnd::RelaunchElevated(const CommandLineSettings& settings,
                                      const std::vector<std::string>& args) {
  // The program's own file: the elevated command starts it by its full path.
  std::string executable = OS::GetExecutablePath();
  if (executable.empty() && !args.empty()) executable = args.front();
  return BramPatch::RelaunchElevated(PatchOptions::Get(), settings, executable,
                                     [this](const std::string& text, const std::string& caption) {
                                       ShowStartupMessage(text, caption);
                                     });
}

PatchView& WindowFrontEnd::CreateView() {
  m_frame = new PatchMainFrame();
  m_frame->Show();
  wxTheApp->SetTopWindow(m_frame);
  return *m_frame;
}

}  // namespace BramPatch

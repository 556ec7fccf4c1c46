// The window program's application object: the start sequence, the exit
// sequence and the last resort for a fault the crash guard did not take.
#pragma once

#include <wx/app.h>

#include "app/window_front_end.h"
#include "run/command_line.h"

namespace BramPatch {

class PatchMainFrame;

class OmvelPatcherApp : public wxApp {
 public:
  // Crash handling and the socket manager, then the shared start-up
  // sequence (run/startup.h) with the window; then the run starts at once
  // (download, repair), the window waits for "Apply Update" (local mode) or
  // says that nothing is to be done. False ends the program without a
  // window (the elevated copy took over, or the write check failed).
  bool OnInit() override;
  // Starts the on-exit program, releases the socket manager, disarms the
  // exit check. Returns 0.
  int OnExit() override;
  // Writes the start-up dump, shows the "Fatal Error" box and ends the
  // process with exit code -1.
  void OnFatalException() override;
  // An exception that no handler caught is a fault of the program: it ends
  // as one (dump, box, exit code 255).
  void OnUnhandledException() override;

  // The window, once start-up has made it.
  PatchMainFrame* Frame() const { return m_frontEnd.Frame(); }

 private:
  WindowFrontEnd m_frontEnd;
  CommandLineSettings m_settings;
};

}  // namespace BramPatch

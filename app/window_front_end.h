// The window program's side of the shared start-up sequence: message boxes,
// the elevated relaunch and the patch window.
#pragma once

#include <string>
#include <vector>

#include "run/startup.h"

namespace BramPatch {

class PatchMainFrame;

class WindowFrontEnd : public StartupFrontEnd {
 public:
  WindowFrontEnd() = default;
  WindowFrontEnd(const WindowFrontEnd&) = delete;
  WindowFrontEnd& operator=(const WindowFrontEnd&) = delete;

  // A modal message box without owner.
  void ShowStartupMessage(const std::string& text, const std::string& caption) override;
  // Hands over to an elevated copy (app/elevated_relaunch.h); always true.
  bool RelaunchElevated(const CommandLineSettings& settings,
                        const std::vector<std::string>& args) override;
  // Creates and shows the patch window and makes it the top window; the
  // toolkit owns it (it destroys itself when closed).
  PatchView& CreateView() override;

  // The window once CreateView has run; null before.
  PatchMainFrame* Frame() const { return m_frame; }

 private:
  PatchMainFrame* m_frame = nullptr;
};

}  // namespace BramPatch

// omvel-patcher-demo: the patch window running by itself, for a machine
// that nobody sits at (the window demo under Xvfb):
//
//   omvel-patcher-demo --screenshot=PATH [omvel-patcher's arguments...]
//
// Starts exactly like omvel-patcher. Once the window waits for "Apply
// Update" (and its page has loaded or failed), it presses the button with a
// click through the X server; a run that start-up began by itself is just
// watched. When the run is over ("Exit" offered) it saves a screenshot of the
// window to PATH, prints the log's text on standard output and presses
// "Exit". Exit code 0 when the log ends in "Patching completed.", 1 when it
// does not or nothing could run, 2 for a missing --screenshot.
#include <wx/app.h>
#include <wx/button.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/webview.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/fatal_error_window.h"
#include "app/patcher_app.h"
#include "foundation/crash_handlers.h"
#include "foundation/fatal_error_box.h"
#include "text/fixed_texts.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "ui/patch_main_frame.h"
#include "ui/window_capture.h"
#include "ui/wx_text.h"

namespace {

constexpr char SCREENSHOT_OPTION[] = "--screenshot=";
constexpr int DEMO_TICK_MS = 200;
constexpr int DEMO_PAGE_WAIT_TICKS = 25;  // at most 5 s for the page before pressing
constexpr int DEMO_SETTLE_TICKS = 3;

std::string g_screenshot;

class DemoApp : public BramPatch::OmvelPatcherApp {
 public:
  bool OnInit() override {
    if (!OmvelPatcherApp::OnInit()) return false;
    m_timer.Bind(wxEVT_TIMER, &DemoApp::OnTick, this);
    m_timer.Start(DEMO_TICK_MS);
    return true;
  }
  int OnRun() override {
    OmvelPatcherApp::OnRun();
    return m_exitCode;
  }

 private:
  void OnTick(wxTimerEvent&) {
    BramPatch::PatchMainFrame* frame = Frame();
    if (frame == nullptr || !frame->IsShownOnScreen()) return;
    ++m_ticks;
    if (!m_started) {
      if (frame->IsBusy()) {
        m_started = true;  // start-up began the run
      } else if (frame->ApplyUpdateButton()->IsEnabled()) {
        if (PageSettled(*frame) || m_ticks > DEMO_PAGE_WAIT_TICKS) {
          Press(frame->ApplyUpdateButton());
          m_started = true;
        }
      } else if (m_ticks > 2) {
        Finish(*frame);  // nothing can run; the log says why
      }
      return;
    }
    // Once "Exit" is offered, a few ticks more let the window draw its last
    // state before the picture is taken.
    if (frame->CancelButton()->GetLabel() == FIXED_EXIT && ++m_ticksOver > DEMO_SETTLE_TICKS) {
      Finish(*frame);
    }
  }

  static bool PageSettled(BramPatch::PatchMainFrame& frame) {
    const BramPatch::PatchPageHost* host = frame.PageHost();
    return host == nullptr || host->HasShownPage() || host->LoadFailed();
  }

  static void Press(wxWindow* button) {
    wxUIActionSimulator input;
    const wxRect rect = button->GetScreenRect();
    input.MouseMove(rect.x + rect.width / 2, rect.y + rect.height / 2);
    input.MouseClick();
  }

  void Finish(BramPatch::PatchMainFrame& frame) {
    m_timer.Stop();
    if (!BramPatch::SaveWindowScreenshot(&frame, g_screenshot)) {
      std::fprintf(stderr, "omvel-patcher-demo: no screenshot at %s\n", g_screenshot.c_str());
    }
    const std::string log = BramPatch::FromWxString(frame.Log()->GetValue());
    std::printf("%s\n", log.c_str());
    std::fflush(stdout);
    const std::string completed = LoadMessage(MSG_PATCHING_COMPLETED);
    m_exitCode = log.size() >= completed.size() && log.compare(log.size() - completed.size(),
                                                               completed.size(), completed) == 0
                     ? 0
                     : 1;
    frame.Close(true);
  }

  wxTimer m_timer;
  int m_ticks = 0;
  int m_ticksOver = 0;
  bool m_started = false;
  int m_exitCode = 1;
};

int RunToolkit(int argc, char** argv) noexcept { return wxEntry(argc, argv); }

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(DemoApp);

int main(int argc, char** argv) {
  SetFatalErrorBoxFunction(BramPatch::ShowFatalErrorWindow);
  if (RunFatalErrorBoxIfRequested(argc, argv)) return 0;
  // The demo's own option goes; the rest is the patcher's command line.
  std::vector<char*> arguments;
  for (int i = 0; i < argc; ++i) {
    if (i > 0 && std::strncmp(argv[i], SCREENSHOT_OPTION, sizeof SCREENSHOT_OPTION - 1) == 0) {
      g_screenshot = argv[i] + sizeof SCREENSHOT_OPTION - 1;
    } else {
      arguments.push_back(argv[i]);
    }
  }
  if (g_screenshot.empty()) {
    std::fprintf(stderr, "usage: omvel-patcher-demo --screenshot=PATH [patcher arguments...]\n");
    return 2;
  }
  arguments.push_back(nullptr);
  CrashGuard guard;
  return RunToolkit(static_cast<int>(arguments.size()) - 1, arguments.data());
}

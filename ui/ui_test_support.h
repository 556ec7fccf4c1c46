// Test helpers for the patch window in the test process: the toolkit on a
// display of the test's own, the event loop run until something happened,
// real input through the X server (wxUIActionSimulator sends XTest events),
// modal dialogs seen and answered, screenshots.
#pragma once

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/image.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/window.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/window_capture.h"
#include "ui/xvfb_test_support.h"

namespace BramPatch {

// Every test of the binary runs with the toolkit on its own Xvfb display.
class GuiTestEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    m_server = std::make_unique<XvfbServer>();
    ASSERT_FALSE(m_server->Display().empty()) << "Xvfb did not start";
    setenv("DISPLAY", m_server->Display().c_str(), 1);
    // WebKit's compositing needs a GPU that Xvfb does not have.
    setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
    wxApp::SetInstance(new wxApp);
    static char name[] = "ui_tests";
    static char* arguments[] = {name, nullptr};
    int count = 1;
    ASSERT_TRUE(wxEntryStart(count, arguments));
    wxTheApp->SetExitOnFrameDelete(false);
    wxInitAllImageHandlers();
  }
  void TearDown() override {
    wxEntryCleanup();
    m_server.reset();
  }

 private:
  std::unique_ptr<XvfbServer> m_server;
};

// One round of the event loop: the toolkit's events, the queued events and
// idle time (where destroyed windows go).
inline void PumpEvents() {
  wxTheApp->Yield(true);
  wxTheApp->ProcessPendingEvents();
  wxTheApp->ProcessIdle();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// Runs the event loop until done() holds; false after `limit`, which only
// guards against a hang.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::seconds limit = std::chrono::seconds(90)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    PumpEvents();
  }
  return true;
}

// A few rounds, so that what the server sent back has arrived.
inline void Settle(int rounds = 20) {
  for (int i = 0; i < rounds; ++i) PumpEvents();
}

// Runs the toolkit's own event loop for a while, as the program does: it
// sleeps until something is due, so that the window also gets painted
// (PumpEvents alone handles events but leaves drawing behind).
inline void RunEventLoopFor(std::chrono::milliseconds duration) {
  wxGUIEventLoop loop;
  wxTimer stop;
  stop.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { loop.Exit(); });
  stop.StartOnce(static_cast<int>(duration.count()));
  loop.Run();
}

// A left click in the middle of `window`, as the user's mouse gives it.
inline void ClickWindow(wxWindow* window) {
  wxUIActionSimulator input;
  const wxRect rect = window->GetScreenRect();
  input.MouseMove(rect.x + rect.width / 2, rect.y + rect.height / 2);
  Settle(5);
  input.MouseClick();
  Settle(5);
}

// Sees every modal dialog the program shows. A dialog is shown for real and
// answered with the keys given for it (sent again every 200 ms until it has
// closed, as it may not have the keyboard at once), or answered at once
// without showing: a box the test does not look at, or a file dialog (which
// gets no keyboard on an X server without a window manager).
class DialogWatcher : public wxModalDialogHook {
 public:
  struct Seen {
    wxString message;
    wxString caption;
    long style = 0;
  };
  // key + modifiers typed into the next dialog; wxID_NONE answers: show it.
  struct Answer {
    int key = WXK_RETURN;
    int modifiers = wxMOD_NONE;
    int immediate = wxID_NONE;  // not wxID_NONE: return this without showing
  };

  DialogWatcher() { Register(); }
  ~DialogWatcher() override { Unregister(); }

  // Answers for the dialogs to come, in order; with none left, dialogs are
  // answered with Return (the default button).
  void Expect(Answer answer) { m_answers.push_back(answer); }
  const std::vector<Seen>& SeenDialogs() const { return m_seen; }
  bool Open() const { return m_open > 0; }

 protected:
  int Enter(wxDialog* dialog) override {
    Seen seen;
    if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog)) {
      seen.message = box->GetMessage();
      seen.caption = box->GetCaption();
      seen.style = box->GetMessageDialogStyle();
    } else if (auto* files = dynamic_cast<wxFileDialogBase*>(dialog)) {
      seen.caption = files->GetMessage();  // a file dialog's title
    } else {
      seen.caption = dialog->GetTitle();
    }
    m_seen.push_back(seen);
    Answer answer;
    if (!m_answers.empty()) {
      answer = m_answers.front();
      m_answers.erase(m_answers.begin());
    }
    if (answer.immediate != wxID_NONE) return answer.immediate;
    ++m_open;
    const int generation = ++m_generation;
    auto* typer = new wxTimer;
    typer->Bind(wxEVT_TIMER, [this, typer, answer, generation](wxTimerEvent&) {
      if (m_closed >= generation) {
        typer->Stop();
        wxTheApp->CallAfter([typer] { delete typer; });
        return;
      }
      wxUIActionSimulator input;
      if (answer.modifiers != wxMOD_NONE) {
        input.KeyDown(answer.key, answer.modifiers);
        input.KeyUp(answer.key, answer.modifiers);
      } else {
        input.Char(answer.key);
      }
    });
    typer->Start(200);
    return wxID_NONE;
  }
  void Exit(wxDialog*) override {
    if (m_open > 0) {
      --m_open;
      ++m_closed;
    }
  }

 private:
  std::vector<Answer> m_answers;
  std::vector<Seen> m_seen;
  int m_open = 0;
  int m_generation = 0;
  int m_closed = 0;
};

// The folder where the tests leave their screenshots: build/screenshots.
inline std::string ScreenshotDirectory() {
  const std::string directory = std::string(OMVEL_BIN_DIR) + "/../screenshots";
  std::filesystem::create_directories(directory);
  return directory;
}

// Saves a screenshot of `window` as <name>.png among the screenshots and
// checks that it shows something: not one flat colour.
inline void ExpectScreenshot(wxWindow* window, const std::string& name) {
  RunEventLoopFor(std::chrono::milliseconds(400));
  const std::string path = ScreenshotDirectory() + "/" + name + ".png";
  ASSERT_TRUE(SaveWindowScreenshot(window, path)) << path;
  wxImage image(path, wxBITMAP_TYPE_PNG);
  ASSERT_TRUE(image.IsOk()) << path;
  EXPECT_EQ(image.GetSize(), window->GetSize());
  std::vector<unsigned> seen;
  const unsigned char* pixels = image.GetData();
  const std::size_t count = std::size_t(image.GetWidth()) * image.GetHeight();
  for (std::size_t i = 0; i < count && seen.size() < 8; ++i) {
    const unsigned colour = pixels[3 * i] << 16 | pixels[3 * i + 1] << 8 | pixels[3 * i + 2];
    if (std::find(seen.begin(), seen.end(), colour) == seen.end()) seen.push_back(colour);
  }
  EXPECT_GE(seen.size(), 8u) << path << " looks blank";
}

}  // namespace BramPatch

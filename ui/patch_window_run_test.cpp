// The patch window driving real runs of a local package: buttons pressed and
// questions answered through the X server, the states of the window read
// back through the toolkit.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>

#include <filesystem>

#include "engine/patch_options.h"
#include "foundation/paths.h"
#include "run/local_mode.h"
#include "text/fixed_texts.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "ui/local_patch_fixture.h"
#include "ui/patch_main_frame.h"
#include "ui/ui_test_support.h"
#include "ui/wx_text.h"

namespace BramPatch {
namespace {

using Answer = DialogWatcher::Answer;

const Answer ANSWER_NO{WXK_RETURN, wxMOD_NONE, wxID_NONE};  // No is the default button
const Answer ANSWER_YES{'Y', wxMOD_ALT, wxID_NONE};         // the "_Yes" mnemonic
const Answer ANSWER_OK_UNSEEN{WXK_RETURN, wxMOD_NONE, wxID_OK};

// A thread that reports the end of a worker the window does not know.
class StrangerThread : public wxThread {
 public:
  explicit StrangerThread(PatchView& view) : wxThread(wxTHREAD_JOINABLE), m_view(view) {}

 private:
  ExitCode Entry() override {
    m_view.WorkerFinished();
    return nullptr;
  }
  PatchView& m_view;
};

class PatchWindowRunTest : public testing::Test {
 protected:
  void SetUp() override { SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH); }
  void TearDown() override {
    m_fixture.ReleaseDiff();
    if (m_frame) {
      m_frame->Destroy();
      EXPECT_TRUE(PumpUntil([&] { return !m_frame; }));
    }
    Settle();
  }

  // The window on `patcher`, shown, with the package detected as start-up
  // detects it (through the registry).
  void OpenOn(const std::string& patcher) {
    m_options.SetInstallPath(m_fixture.Install());  // as start-up finds it in the registry
    PatchWindowSettings settings;
    settings.options = &m_options;
    settings.executablePath = patcher;
    settings.pageAddress = PatchPageAddress(UnservedPageBase());
    m_frame = new PatchMainFrame(settings);
    m_frame->Show();
    ASSERT_TRUE(PumpUntil([&] { return m_frame->IsShownOnScreen(); }));
    ASSERT_TRUE(DetectLocalPackage(patcher, true, m_options, GetLocalPackage()));
    ASSERT_TRUE(PumpUntil([&] { return LogHas(LoadMessage(MSG_READY_LOCAL_PATCH)); }));
  }

  std::string Log() const { return FromWxString(m_frame->Log()->GetValue()); }
  bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
  std::string CancelLabel() const { return FromWxString(m_frame->CancelButton()->GetLabel()); }
  bool Finished() const { return CancelLabel() == FIXED_EXIT; }

  void PressApplyUpdate() { ClickWindow(m_frame->ApplyUpdateButton()); }
  void PressCancel() { ClickWindow(m_frame->CancelButton()); }
  bool DialogAnswered(std::size_t count) const {
    return m_dialogs.SeenDialogs().size() == count && !m_dialogs.Open();
  }

  LocalPatchFixture m_fixture;
  PatchOptions m_options;
  wxWeakRef<PatchMainFrame> m_frame;
  DialogWatcher m_dialogs;
};

TEST_F(PatchWindowRunTest, ApplyUpdateRunsThePackageToTheEnd) {
  OpenOn(m_fixture.MakePatcher({{"100", "101"}, {"101", "102"}}));
  // A local package was detected.
  EXPECT_TRUE(m_frame->ApplyUpdateButton()->IsEnabled());
  EXPECT_TRUE(m_frame->BrowseButton()->IsEnabled());
  EXPECT_EQ(CancelLabel(), FIXED_CANCEL);
  EXPECT_FALSE(m_frame->IsBusy());
  ExpectScreenshot(m_frame, "window-local-package-ready");

  PressApplyUpdate();
  ASSERT_TRUE(PumpUntil([&] { return Finished(); })) << Log();
  EXPECT_TRUE(m_frame->CancelButton()->IsEnabled());
  EXPECT_FALSE(m_frame->IsBusy());
  EXPECT_FALSE(m_frame->ApplyUpdateButton()->IsEnabled());
  EXPECT_FALSE(m_frame->BrowseButton()->IsEnabled());
  EXPECT_EQ(m_frame->InstalledPatches(), 2);
  ASSERT_TRUE(PumpUntil([&] { return LogHas(LoadMessage(MSG_PATCHING_COMPLETED)); })) << Log();
  EXPECT_TRUE(FileExists(m_fixture.Install() + "/added-101.txt"));
  EXPECT_TRUE(FileExists(m_fixture.Install() + "/added-102.txt"));
  EXPECT_TRUE(m_dialogs.SeenDialogs().empty());
  ExpectScreenshot(m_frame, "window-run-completed");

  // "Exit" asks nothing once the run is over and ends the window.
  PressCancel();
  EXPECT_TRUE(PumpUntil([&] { return !m_frame; }));
  EXPECT_TRUE(m_dialogs.SeenDialogs().empty());
}

TEST_F(PatchWindowRunTest, CancelDuringARunAsksThenWaitsForTheWorker) {
  OpenOn(m_fixture.MakePatcher({{"100", "101", true}}));
  PressApplyUpdate();
  ASSERT_TRUE(PumpUntil([&] { return m_fixture.DiffStarted(); })) << Log();
  // During a run.
  EXPECT_TRUE(m_frame->IsBusy());
  EXPECT_FALSE(m_frame->ApplyUpdateButton()->IsEnabled());
  EXPECT_FALSE(m_frame->BrowseButton()->IsEnabled());
  EXPECT_TRUE(m_frame->CancelButton()->IsEnabled());
  EXPECT_EQ(CancelLabel(), FIXED_CANCEL);
  ExpectScreenshot(m_frame, "window-during-run");

  // "Cancel", answered No: nothing changes.
  m_dialogs.Expect(ANSWER_NO);
  PressCancel();
  ASSERT_TRUE(PumpUntil([&] { return DialogAnswered(1); }));
  const DialogWatcher::Seen& question = m_dialogs.SeenDialogs()[0];
  EXPECT_EQ(question.message, FIXED_CONFIRM_CANCEL);
  EXPECT_EQ(question.caption, "Omvel Patcher ");
  EXPECT_EQ(question.style & (wxYES_NO | wxNO_DEFAULT | wxICON_WARNING),
            wxYES_NO | wxNO_DEFAULT | wxICON_WARNING);
  Settle();
  EXPECT_TRUE(m_frame->IsBusy());
  EXPECT_TRUE(m_frame->CancelButton()->IsEnabled());
  EXPECT_FALSE(m_frame->IsCancelRequested());
  EXPECT_FALSE(LogHas(FIXED_CANCELLING));

  // The title bar's close box asks the same; Yes disables "Cancel" at once,
  // while the worker is still running.
  m_dialogs.Expect(ANSWER_YES);
  m_frame->Close();
  ASSERT_TRUE(PumpUntil([&] { return DialogAnswered(2); }));
  EXPECT_EQ(m_dialogs.SeenDialogs()[1].message, FIXED_CONFIRM_CANCEL);
  EXPECT_TRUE(m_frame->IsCancelRequested());
  EXPECT_FALSE(m_frame->CancelButton()->IsEnabled());
  EXPECT_EQ(CancelLabel(), FIXED_CANCEL);
  EXPECT_FALSE(m_frame->IsBusy());
  EXPECT_FALSE(m_frame->ApplyUpdateButton()->IsEnabled());
  ASSERT_TRUE(PumpUntil([&] { return LogHas(FIXED_CANCELLING); }));
  ExpectScreenshot(m_frame, "window-cancel-confirmed");
  EXPECT_EQ(CancelLabel(), FIXED_CANCEL);

  // "Exit" only once the worker has ended.
  m_fixture.ReleaseDiff();
  ASSERT_TRUE(PumpUntil([&] { return Finished(); })) << Log();
  EXPECT_TRUE(m_frame->CancelButton()->IsEnabled());
  ASSERT_TRUE(PumpUntil([&] { return LogHas(LoadMessage(MSG_PATCHING_ABORTED)); })) << Log();
  EXPECT_EQ(m_frame->InstalledPatches(), 0);
  EXPECT_EQ(m_dialogs.SeenDialogs().size(), 2u);
}

TEST_F(PatchWindowRunTest, TimerShowsTheFiguresOfTheRunningDownload) {
  OpenOn(m_fixture.MakePatcher({{"100", "101", true}}));
  // The worker's progress block as a download would fill it.
  DownloadProgress progress;
  progress.m_state = DOWNLOAD_STATE_DOWNLOADING;
  progress.m_bytes_total = 3030 * 1024;
  progress.m_started = DownloadClock::now();
  m_frame->SetDownloadProgressSource([&](PatchThread&) { return progress; });
  const wxString status = "Download Progress %u kB of 3030 kB, 1 min remaining";

  PressApplyUpdate();
  ASSERT_TRUE(PumpUntil([&] { return m_fixture.DiffStarted(); })) << Log();
  ASSERT_TRUE(
      PumpUntil([&] { return m_frame->StatusLine()->GetLabel() == wxString::Format(status, 0); }));
  EXPECT_EQ(m_frame->Gauge()->GetValue(), 0);
  EXPECT_EQ(m_frame->Gauge()->GetRange(), 100);

  // Of 3030 kB, 1 is left: a minute at most, however long it took.
  progress.m_bytes_done = 3029 * 1024;
  progress.m_percent = 99;
  ASSERT_TRUE(PumpUntil(
      [&] { return m_frame->StatusLine()->GetLabel() == wxString::Format(status, 3029); }));
  EXPECT_EQ(m_frame->Gauge()->GetValue(), 99);
  ExpectScreenshot(m_frame, "window-downloading");

  progress.m_bytes_done = 3030 * 1024;
  progress.m_percent = 100;
  ASSERT_TRUE(PumpUntil([&] { return m_frame->IsDownloadDisplayFinished(); }));
  EXPECT_EQ(m_frame->StatusLine()->GetLabel(), "");
  EXPECT_EQ(m_frame->Gauge()->GetValue(), 100);
}

TEST_F(PatchWindowRunTest, OnceAPatchIsInstalledTheQuestionWarns) {
  OpenOn(m_fixture.MakePatcher({{"100", "101"}, {"101", "102", true}}));
  PressApplyUpdate();
  ASSERT_TRUE(PumpUntil([&] { return m_fixture.DiffStarted(); })) << Log();
  ASSERT_TRUE(PumpUntil([&] { return m_frame->InstalledPatches() == 1; }));

  m_dialogs.Expect(ANSWER_NO);
  m_frame->Close();
  ASSERT_TRUE(PumpUntil([&] { return DialogAnswered(1); }));
  EXPECT_EQ(m_dialogs.SeenDialogs()[0].message, FIXED_CANCEL_AFTER_INSTALL_WARNING);
  EXPECT_TRUE(m_frame->IsBusy());
  EXPECT_FALSE(m_frame->IsCancelRequested());
}

TEST_F(PatchWindowRunTest, BrowseAsksForTheProductAgain) {
  OpenOn(m_fixture.MakePatcher({{"100", "101"}}));
  const std::string before = Log();
  m_dialogs.Expect({WXK_RETURN, wxMOD_NONE, wxID_CANCEL});
  ClickWindow(m_frame->BrowseButton());
  ASSERT_TRUE(PumpUntil([&] { return m_dialogs.SeenDialogs().size() == 1; }));
  EXPECT_EQ(m_dialogs.SeenDialogs()[0].caption, "Locate Kestro.exe...");
  // The log was cleared first; the cancelled choice is said in red.
  const std::string cancelled =
      "Unable to determine installation location. Aborted patching at user's request.";
  ASSERT_TRUE(PumpUntil([&] { return LogHas(cancelled); })) << Log();
  EXPECT_EQ(Log().find(LoadMessage(MSG_READY_LOCAL_PATCH)), std::string::npos) << Log();
  EXPECT_NE(before, Log());
  EXPECT_EQ(FromWxString(m_frame->PathField()->GetValue()), m_fixture.Install());
}

TEST_F(PatchWindowRunTest, ClosingBeforeAnyRunAsksNothing) {
  OpenOn(m_fixture.MakePatcher({{"100", "101"}}));
  PressCancel();
  EXPECT_TRUE(PumpUntil([&] { return !m_frame; }));
  EXPECT_TRUE(m_dialogs.SeenDialogs().empty());
}

TEST_F(PatchWindowRunTest, SecondApplyUpdateAfterTheFilesInUseGateStartsANewWorker) {
  std::string database = m_fixture.Install() + "/assets.tdx";
  auto holder = std::make_unique<DrainedChild>(
      std::string(OMVEL_TESTCHILD_DIR) + "/database_holder_testchild", "\"" + database + "\"");
  ASSERT_TRUE(holder->WaitForOutput("ready\n")) << holder->Output();
  OpenOn(m_fixture.MakePatcher({{"100", "101", true}}));

  // The gate fails (after its attempts): its box, answered OK, then
  // "Apply Update" again.
  m_dialogs.Expect(ANSWER_OK_UNSEEN);
  PressApplyUpdate();
  ASSERT_TRUE(PumpUntil([&] { return m_dialogs.SeenDialogs().size() == 1; })) << Log();
  EXPECT_EQ(FromWxString(m_dialogs.SeenDialogs()[0].message), LoadMessage(MSG_EXECUTABLES_RUNNING));
  EXPECT_EQ(FromWxString(m_dialogs.SeenDialogs()[0].caption), LoadMessage(MSG_FILES_IN_USE_TITLE));
  ASSERT_TRUE(PumpUntil([&] { return m_frame->ApplyUpdateButton()->IsEnabled(); }));

  // The user closes the product and tries again: a new worker runs, and the
  // end of the first one does not end the second run's display.
  holder.reset();
  PressApplyUpdate();
  ASSERT_TRUE(PumpUntil([&] { return m_fixture.DiffStarted(); })) << Log();
  ASSERT_TRUE(PumpUntil([&] { return LogHas(LoadMessage(MSG_PATCHING_ABORTED)); }));
  // However late the first worker's end arrives, it is not the second run's.
  StrangerThread stranger(*m_frame);
  ASSERT_EQ(stranger.Run(), wxTHREAD_NO_ERROR);
  stranger.Wait(wxTHREAD_WAIT_BLOCK);
  Settle();
  EXPECT_TRUE(m_frame->IsBusy());
  EXPECT_EQ(CancelLabel(), FIXED_CANCEL);
  EXPECT_FALSE(m_frame->ApplyUpdateButton()->IsEnabled());

  m_fixture.ReleaseDiff();
  ASSERT_TRUE(PumpUntil([&] { return Finished(); })) << Log();
  const std::string log = Log();
  const std::string aborted = LoadMessage(MSG_PATCHING_ABORTED);
  const std::size_t first = log.find(aborted);
  EXPECT_NE(log.find(aborted, first + 1), std::string::npos) << log;
}

}  // namespace
}  // namespace BramPatch

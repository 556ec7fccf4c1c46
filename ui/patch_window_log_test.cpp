// The log of the patch window: texts in the order posted, each on a line of
// its own, in the colour of its kind, read back from the control.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/textctrl.h>

#include <thread>

#include "engine/patch_options.h"
#include "run/patch_messaging.h"
#include "run/run_test_support.h"
#include "run/startup.h"
#include "text/messages.h"
#include "text/text_kind.h"
#include "ui/patch_main_frame.h"
#include "ui/ui_test_support.h"
#include "ui/wx_text.h"

namespace BramPatch {
namespace {

class PatchWindowLogTest : public testing::Test {
 protected:
  void SetUp() override {
    PatchWindowSettings settings;
    settings.options = &m_options;
    settings.pageAddress = PatchPageAddress(UnservedPageBase());
    m_frame = new PatchMainFrame(settings);
    m_frame->Show();
    ASSERT_TRUE(PumpUntil([&] { return m_frame->IsShownOnScreen(); }));
  }
  void TearDown() override {
    m_frame->Destroy();
    Settle();
  }

  std::string Text() const { return FromWxString(m_frame->Log()->GetValue()); }
  wxColour ColourAt(const std::string& text) const {
    const long at = m_frame->Log()->GetValue().Find(ToWxString(text));
    EXPECT_NE(at, wxNOT_FOUND) << text;
    wxTextAttr style;
    EXPECT_TRUE(m_frame->Log()->GetStyle(at, style));
    return style.GetTextColour();
  }

  PatchOptions m_options;
  PatchMainFrame* m_frame = nullptr;
};

TEST_F(PatchWindowLogTest, KindsGiveColoursAndOtherKindsKeepThePreviousOne) {
  PostText(TEXT_KIND_NORMAL, "black line");
  PostText(TEXT_KIND_SECONDARY, "grey line");
  PostText(TEXT_KIND_ERROR, "red line");
  PostText(7, "still red");
  PostText(TEXT_KIND_NORMAL, "Patching...\n");
  PostText(TEXT_KIND_NORMAL, "after an empty line");
  ASSERT_TRUE(PumpUntil([&] { return Text().find("after") != std::string::npos; }));
  // The first text without a line break before it; one text per line.
  EXPECT_EQ(Text(),
            "black line\ngrey line\nred line\nstill red\nPatching...\n\nafter an empty line");
  EXPECT_EQ(ColourAt("black line"), wxColour(0, 0, 0));
  EXPECT_EQ(ColourAt("grey line"), wxColour(128, 128, 128));
  EXPECT_EQ(ColourAt("red line"), wxColour(255, 0, 0));
  EXPECT_EQ(ColourAt("still red"), wxColour(255, 0, 0));
  EXPECT_EQ(ColourAt("after an empty line"), wxColour(0, 0, 0));
  ExpectScreenshot(m_frame, "window-log-colours");
}

TEST_F(PatchWindowLogTest, TextsOfAWorkerArriveInTheirOrder) {
  std::thread worker([] {
    for (int i = 0; i < 200; ++i) PostText(i % 3, "line " + std::to_string(i));
  });
  worker.join();
  ASSERT_TRUE(PumpUntil([&] { return Text().find("line 199") != std::string::npos; }));
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += (i ? "\n" : "") + ("line " + std::to_string(i));
  EXPECT_EQ(Text(), expected);
  EXPECT_EQ(ColourAt("line 197"), wxColour(255, 0, 0));
  EXPECT_EQ(ColourAt("line 198"), wxColour(0, 0, 0));
  EXPECT_EQ(ColourAt("line 199"), wxColour(128, 128, 128));
}

TEST_F(PatchWindowLogTest, ClearingFromAWorkerEmptiesTheLog) {
  PostText(TEXT_KIND_NORMAL, "old");
  ASSERT_TRUE(PumpUntil([&] { return !Text().empty(); }));
  std::thread worker([this] {
    m_frame->ClearLog();
    PostText(TEXT_KIND_ERROR, "new");
  });
  worker.join();
  ASSERT_TRUE(PumpUntil([&] { return Text().find("new") != std::string::npos; }));
  EXPECT_EQ(Text(), "\nnew");  // not the first text of the log
}

// The shared start-up sequence with this window: nothing on the command line
// and no package in the program.
class WindowStartup : public StartupFrontEnd {
 public:
  void ShowStartupMessage(const std::string& text, const std::string&) override {
    messages.push_back(text);
  }
  bool RelaunchElevated(const CommandLineSettings&, const std::vector<std::string>&) override {
    return true;
  }
  PatchView& CreateView() override {
    PatchWindowSettings settings;
    settings.pageAddress = PatchPageAddress(UnservedPageBase());
    frame = new PatchMainFrame(settings);
    frame->Show();
    return *frame;
  }
  PatchMainFrame* frame = nullptr;
  std::vector<std::string> messages;
};

TEST(PatchWindowStartup, NoModeDisablesApplyUpdateAndSaysSo) {
  ScopedTempDir dir;
  ScopedEnvironment registry("OMVEL_REGISTRY", dir.Sub("registry.reg"));
  ScopedEnvironment temp("TEMP", dir.Sub("temp"));
  WriteTestRegistry(dir.Sub("registry.reg"), UnservedPageBase(), dir.path());
  SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
  WindowStartup frontEnd;
  const StartupResult result = RunStartup({"omvel-patcher"}, frontEnd);
  ASSERT_NE(frontEnd.frame, nullptr);
  PatchMainFrame* frame = frontEnd.frame;
  EXPECT_EQ(result.outcome, StartupOutcome::NOTHING_TO_DO);
  EXPECT_TRUE(frontEnd.messages.empty());
  ASSERT_TRUE(PumpUntil([&] { return !frame->Log()->GetValue().empty(); }));
  EXPECT_FALSE(frame->ApplyUpdateButton()->IsEnabled());
  EXPECT_FALSE(frame->BrowseButton()->IsEnabled());
  EXPECT_TRUE(frame->CancelButton()->IsEnabled());
  EXPECT_EQ(FromWxString(frame->CancelButton()->GetLabel()), "Cancel");
  EXPECT_EQ(FromWxString(frame->PathField()->GetValue()), dir.path());
  const wxString log = frame->Log()->GetValue();
  EXPECT_TRUE(log.EndsWith(NO_PATCH_OPERATION_TEXT)) << log;
  wxTextAttr style;
  ASSERT_TRUE(frame->Log()->GetStyle(log.Find(NO_PATCH_OPERATION_TEXT), style));
  EXPECT_EQ(style.GetTextColour(), wxColour(255, 0, 0));
  ExpectScreenshot(frame, "window-no-mode");
  frame->Destroy();
  Settle();
}

}  // namespace
}  // namespace BramPatch

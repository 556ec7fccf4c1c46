// The patch window as built: its controls where the layout puts them, their
// labels and the state after construction, read back through the toolkit.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/webview.h>

#include "engine/patch_options.h"
#include "run/run_test_support.h"
#include "text/messages.h"
#include "ui/patch_main_frame.h"
#include "ui/ui_test_support.h"

namespace BramPatch {
namespace {

class PatchWindowLayoutTest : public testing::Test {
 protected:
  void SetUp() override {
    SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
    m_options.SetInstallPath("/games/Kestro/");
  }
  void TearDown() override {
    if (m_frame) m_frame->Destroy();
    Settle();
  }

  PatchMainFrame* Open() {
    PatchWindowSettings settings;
    settings.options = &m_options;
    settings.pageAddress = PatchPageAddress(UnservedPageBase());
    m_frame = new PatchMainFrame(settings);
    m_frame->Show();
    EXPECT_TRUE(PumpUntil([&] { return m_frame->IsShownOnScreen(); }));
    Settle();
    return m_frame;
  }

  PatchOptions m_options;
  PatchMainFrame* m_frame = nullptr;
};

struct ItemLayout {
  const char* name;
  int proportion;
  int flags;
  int border;
  wxSize minimum;  // the control's initial size; -1 where it is left to the toolkit
  wxRect rect;     // where the sizer puts it in the panel
};

void ExpectItem(wxSizerItem* item, const ItemLayout& expected) {
  SCOPED_TRACE(expected.name);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->GetProportion(), expected.proportion);
  EXPECT_EQ(item->GetFlag() & ~wxRESERVE_SPACE_EVEN_IF_HIDDEN, expected.flags);
  EXPECT_EQ(item->GetBorder(), expected.border);
  if (wxWindow* window = item->GetWindow()) {
    const wxSize minimum = window->GetMinSize();
    if (expected.minimum.x >= 0) {
      EXPECT_EQ(minimum.x, expected.minimum.x);
    }
    if (expected.minimum.y >= 0) {
      EXPECT_EQ(minimum.y, expected.minimum.y);
    }
    EXPECT_EQ(window->GetRect(), expected.rect);
  } else {
    wxSizer* sizer = item->GetSizer();
    EXPECT_EQ(wxRect(sizer->GetPosition(), sizer->GetSize()), expected.rect);
  }
}

TEST_F(PatchWindowLayoutTest, ControlsFollowTheLayoutTable) {
  PatchMainFrame* frame = Open();

  // The panel's content: 450 + 2 x 5 wide; 110 + 40 + 270 + 20 + 45 + 48 high.
  EXPECT_EQ(frame->GetClientSize(), wxSize(460, 533));
  EXPECT_EQ(frame->GetMinSize(), frame->GetSize());
  EXPECT_EQ(frame->GetTitle(), "Omvel Patcher ");
  const long style = frame->GetWindowStyleFlag();
  for (long wanted : {wxCAPTION, wxSYSTEM_MENU, wxCLOSE_BOX, wxCLIP_CHILDREN}) {
    EXPECT_TRUE(style & wanted) << wanted;
  }
  for (long unwanted : {wxRESIZE_BORDER, wxMINIMIZE_BOX, wxMAXIMIZE_BOX}) {
    EXPECT_FALSE(style & unwanted) << unwanted;
  }
  // Centred on the 1280 x 1024 screen.
  const wxRect screen = frame->GetScreenRect();
  EXPECT_NEAR(screen.x + screen.width / 2, 640, 1);
  EXPECT_NEAR(screen.y + screen.height / 2, 512, 1);
  EXPECT_TRUE(frame->GetIcon().IsOk());

  wxBoxSizer* main = frame->MainSizer();
  ASSERT_EQ(main->GetItemCount(), 6u);
  EXPECT_EQ(main->GetOrientation(), wxVERTICAL);
  ASSERT_NE(frame->Page(), nullptr);
  EXPECT_EQ(frame->Page()->GetId(), 501);
  EXPECT_EQ(main->GetItem(size_t(0))->GetWindow(), frame->Page());
  EXPECT_EQ(main->GetItem(size_t(1))->GetSizer(), frame->InstallRow());
  EXPECT_EQ(main->GetItem(size_t(2))->GetWindow(), frame->Log());
  EXPECT_EQ(main->GetItem(size_t(3))->GetWindow(), frame->StatusLine());
  EXPECT_EQ(main->GetItem(size_t(4))->GetWindow(), frame->Gauge());

  const ItemLayout mainItems[] = {
      {"page", 0, wxEXPAND | wxALL, 5, {450, 100}, {5, 5, 450, 100}},
      {"install row", 0, wxEXPAND | wxALL, 5, {-1, -1}, {5, 115, 450, 30}},
      {"log", 1, wxEXPAND | wxALL, 10, {50, 250}, {10, 160, 440, 250}},
      {"status line", 0, wxEXPAND | wxLEFT | wxRIGHT, 10, {-1, 20}, {10, 420, 440, 20}},
      {"gauge", 0, wxFIXED_MINSIZE | wxEXPAND | wxALL, 10, {-1, 25}, {10, 450, 440, 25}},
      {"button row", 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 5, {-1, -1}, {100, 490, 260, 38}},
  };
  for (std::size_t i = 0; i < std::size(mainItems); ++i) ExpectItem(main->GetItem(i), mainItems[i]);

  wxBoxSizer* row = frame->InstallRow();
  ASSERT_EQ(row->GetItemCount(), 3u);
  EXPECT_EQ(row->GetOrientation(), wxHORIZONTAL);
  EXPECT_EQ(row->GetItem(size_t(0))->GetWindow(), frame->InstallLabel());
  EXPECT_EQ(frame->InstallLabel()->GetId(), 5105);
  EXPECT_EQ(row->GetItem(size_t(1))->GetWindow(), frame->PathField());
  EXPECT_EQ(row->GetItem(size_t(2))->GetWindow(), frame->BrowseButton());
  EXPECT_EQ(frame->BrowseButton()->GetId(), 15);
  // The label's minimum is its text's size (the "adjust minimum size" flag);
  // the path field takes the rest of the row.
  const wxSize label = frame->InstallLabel()->GetBestSize();
  ASSERT_LE(label.y, 30);
  const int labelTop = 115 + (30 - label.y) / 2;
  const int fieldLeft = 5 + 5 + label.x + 5 + 5;
  const ItemLayout rowItems[] = {
      {"label", 0, wxALIGN_CENTER_VERTICAL | wxALL, 5, label, {10, labelTop, label.x, label.y}},
      {"path field", 1, wxEXPAND | wxALL, 5, {215, 20}, {fieldLeft, 120, 430 - fieldLeft - 5, 20}},
      {"browse", 0, wxALIGN_CENTER_VERTICAL | wxALL, 0, {25, 20}, {430, 120, 25, 20}},
  };
  for (std::size_t i = 0; i < std::size(rowItems); ++i) ExpectItem(row->GetItem(i), rowItems[i]);

  wxSizer* buttons = main->GetItem(size_t(5))->GetSizer();
  ASSERT_NE(buttons, nullptr);
  ASSERT_EQ(buttons->GetItemCount(), 2u);
  EXPECT_EQ(buttons->GetItem(size_t(0))->GetWindow(), frame->ApplyUpdateButton());
  EXPECT_EQ(buttons->GetItem(size_t(1))->GetWindow(), frame->CancelButton());
  EXPECT_EQ(frame->ApplyUpdateButton()->GetId(), 0);
  EXPECT_EQ(frame->CancelButton()->GetId(), 1);
  const ItemLayout buttonItems[] = {
      {"Apply Update", 0, wxALIGN_CENTER_VERTICAL | wxALL, 5, {120, 28}, {105, 495, 120, 28}},
      {"Cancel", 0, wxALIGN_CENTER_VERTICAL | wxALL, 5, {120, 28}, {235, 495, 120, 28}},
  };
  for (std::size_t i = 0; i < std::size(buttonItems); ++i) {
    ExpectItem(buttons->GetItem(i), buttonItems[i]);
  }

  EXPECT_TRUE(frame->Log()->IsMultiLine());
  EXPECT_FALSE(frame->Log()->IsEditable());
  EXPECT_TRUE(frame->Log()->HasFlag(wxTE_RICH));
  EXPECT_TRUE(frame->StatusLine()->HasFlag(wxST_NO_AUTORESIZE));
  EXPECT_TRUE(frame->StatusLine()->HasFlag(wxALIGN_CENTRE_HORIZONTAL));
  EXPECT_EQ(frame->Gauge()->GetRange(), 100);
  EXPECT_EQ(frame->Timer().GetId(), 1);
  EXPECT_EQ(frame->Timer().GetInterval(), 500);
  EXPECT_FALSE(frame->Timer().IsOneShot());

  ExpectScreenshot(frame, "window-after-construction");
}

TEST_F(PatchWindowLayoutTest, StateAfterConstruction) {
  PatchMainFrame* frame = Open();
  EXPECT_EQ(frame->ApplyUpdateButton()->GetLabel(), "Apply Update");
  EXPECT_TRUE(frame->ApplyUpdateButton()->IsEnabled());
  EXPECT_EQ(frame->CancelButton()->GetLabel(), "Cancel");
  EXPECT_TRUE(frame->CancelButton()->IsEnabled());
  EXPECT_EQ(frame->BrowseButton()->GetLabel(), "...");
  EXPECT_FALSE(frame->BrowseButton()->IsEnabled());
  EXPECT_EQ(frame->InstallLabel()->GetLabel(), "Patching install:");
  EXPECT_EQ(frame->PathField()->GetValue(), "/games/Kestro/");
  EXPECT_FALSE(frame->PathField()->IsEnabled());
  EXPECT_FALSE(frame->IsBusy());
  EXPECT_FALSE(frame->Page()->IsShown());
  EXPECT_TRUE(frame->Timer().IsRunning());
  EXPECT_EQ(GetCurrentView(), static_cast<PatchView*>(frame));
}

TEST_F(PatchWindowLayoutTest, RepairModeRelabelsTheButtonAndTheRow) {
  m_options.SetRepair(true);
  PatchMainFrame* frame = Open();
  EXPECT_EQ(frame->ApplyUpdateButton()->GetLabel(), "Repair");
  EXPECT_EQ(frame->InstallLabel()->GetLabel(), "Repairing install:");
}

TEST_F(PatchWindowLayoutTest, DestroyedWindowIsNoLongerTheCurrentView) {
  Open();
  m_frame->Destroy();
  m_frame = nullptr;
  EXPECT_TRUE(PumpUntil([] { return GetCurrentView() == nullptr; }));
  PostText(0, "lost");  // nobody to show it: dropped, no crash
}

}  // namespace
}  // namespace BramPatch

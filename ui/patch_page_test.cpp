// The maker's page in the window, served from 127.0.0.1.
#include "ui/patch_page.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/webview.h>

#include <filesystem>

#include "engine/patch_options.h"
#include "run/run_test_support.h"
#include "ui/patch_main_frame.h"
#include "ui/ui_test_support.h"

namespace BramPatch {
namespace {

TEST(PatchPageAddress, BaseFromTheRegistryOrTheMakersSite) {
  EXPECT_EQ(PatchPageAddress("http://127.0.0.1:8080/"),
            "http://127.0.0.1:8080/patcher/patcher.html");
  EXPECT_EQ(PatchPageAddress("http://127.0.0.1:8080"),
            "http://127.0.0.1:8080/patcher/patcher.html");
  ScopedTempDir dir;
  ScopedEnvironment registry("OMVEL_REGISTRY", dir.Sub("registry.reg"));
  WriteTestRegistry(dir.Sub("registry.reg"), "");
  EXPECT_EQ(PatcherPageAddress(), "https://www.omvel.com/patcher/patcher.html");
  WriteTestRegistry(dir.Sub("registry.reg"), "http://127.0.0.1:9000/mirror/");
  EXPECT_EQ(PatcherPageAddress(), "http://127.0.0.1:9000/mirror/patcher/patcher.html");
}

class PatchPageTest : public testing::Test {
 protected:
  void TearDown() override {
    if (m_frame) m_frame->Destroy();
    Settle();
  }
  PatchMainFrame* Open(const std::string& base) {
    PatchWindowSettings settings;
    settings.options = &m_options;
    settings.pageAddress = PatchPageAddress(base);
    m_frame = new PatchMainFrame(settings);
    m_frame->Show();
    EXPECT_TRUE(PumpUntil([&] { return m_frame->IsShownOnScreen(); }));
    return m_frame;
  }
  PatchOptions m_options;
  PatchMainFrame* m_frame = nullptr;
};

TEST_F(PatchPageTest, LoadedPageAppearsAndItsLinksStayInside) {
  ScopedTempDir site;
  std::filesystem::create_directories(site.Sub("patcher"));
  // A link over the page's whole first 80 pixels, meant for a new window.
  WriteTextFile(site.Sub("patcher/patcher.html"),
                "<html><body style='margin:0;background:#1f3a5f;height:2000px'>"
                "<a href='second.html' target='_blank' style='display:block;height:80px;"
                "color:#f2a541;font:bold 28px sans-serif'>Kestro build 102 is out</a>"
                "</body></html>");
  WriteTextFile(site.Sub("patcher/second.html"),
                "<html><body style='background:#f2a541'>second page</body></html>");
  LocalWebServer server(site.path());
  ASSERT_NE(server.Port(), 0);

  PatchMainFrame* frame = Open(server.Base());
  wxWebView* page = frame->Page();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return page->IsShown(); }));
  EXPECT_FALSE(page->IsContextMenuEnabled());
  ExpectScreenshot(frame, "window-with-page");

  const std::size_t windows = wxTopLevelWindows.GetCount();
  wxUIActionSimulator input;
  const wxPoint link = page->GetScreenPosition() + wxPoint(40, 20);
  input.MouseMove(link);
  Settle(5);
  input.MouseClick();
  ASSERT_TRUE(PumpUntil([&] { return page->GetCurrentURL().EndsWith("/patcher/second.html"); }));
  EXPECT_EQ(wxTopLevelWindows.GetCount(), windows);
  EXPECT_TRUE(page->IsShown());
}

TEST_F(PatchPageTest, WithoutAServerThePageStaysHidden) {
  PatchMainFrame* frame = Open(UnservedPageBase());
  ASSERT_NE(frame->Page(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return frame->PageHost()->LoadFailed(); }));
  ASSERT_TRUE(PumpUntil([&] { return !frame->Page()->IsBusy(); }));
  Settle(50);
  EXPECT_FALSE(frame->Page()->IsShown());
  EXPECT_FALSE(frame->PageHost()->HasShownPage());
  // The rest of the window is intact.
  EXPECT_TRUE(frame->ApplyUpdateButton()->IsEnabled());
  EXPECT_TRUE(frame->CancelButton()->IsEnabled());
}

}  // namespace
}  // namespace BramPatch

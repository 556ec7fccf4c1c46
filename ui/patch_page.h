// The maker's page at the top of the patch window, shown by the embedded
// web view (WebKitGTK): created hidden, shown once the page has loaded
// completely, no context menu, every link opens inside the page area, no
// scroll bars. Without a network the page never loads and stays hidden.
#pragma once

#include <string>

class wxWebView;
class wxWebViewEvent;
class wxWindow;

namespace BramPatch {

// The maker's web site; the machine registry value PATCHER_PAGE_VALUE under
// PATCHER_PAGE_KEY replaces it (a test server, a mirror).
inline constexpr const char* PATCHER_PAGE_BASE = "https://www.omvel.com";
inline constexpr const char* PATCHER_PAGE_KEY = "Software\\Omvel";
inline constexpr const char* PATCHER_PAGE_VALUE = "PatcherPageURL";
inline constexpr const char* PATCHER_PAGE_PATH = "/patcher/patcher.html";

// Id and size of the page control in the window.
inline constexpr int PATCH_PAGE_ID = 501;
inline constexpr int PATCH_PAGE_WIDTH = 450;
inline constexpr int PATCH_PAGE_HEIGHT = 100;

// base + PATCHER_PAGE_PATH, without a doubled "/".
std::string PatchPageAddress(const std::string& base);

// The page's address from the registry value, or from PATCHER_PAGE_BASE.
std::string PatcherPageAddress();

// Creates the page control in `parent`, hidden, loading `address`; the
// window binds its events (PatchPageHost). Null when the system has no web
// view: the window then goes on without a page.
wxWebView* CreatePatchPage(wxWindow* parent, const std::string& address);

// The page's behaviour towards its events. Main thread only.
class PatchPageHost {
 public:
  explicit PatchPageHost(wxWebView* page) : m_page(page) {}

  // Every navigation proceeds inside the page area.
  void OnNavigating(wxWebViewEvent& event);
  // A load that failed keeps the page hidden, also when the web view still
  // reports the end of that load afterwards.
  void OnError(wxWebViewEvent& event);
  // A page that has loaded completely is shown, without scroll bars.
  void OnLoaded(wxWebViewEvent& event);
  // A link meant for a new window opens in the page area.
  void OnNewWindow(wxWebViewEvent& event);

  bool HasShownPage() const { return m_shown; }
  bool LoadFailed() const { return m_failed; }

 private:
  void HideScrollBars();

  wxWebView* m_page;
  bool m_failed = false;  // the current load failed
  bool m_shown = false;
};

}  // namespace BramPatch

#include "ui/patch_page.h"

#include <wx/webview.h>

#include "foundation/log.h"
#include "foundation/registry.h"
#include "ui/wx_text.h"

namespace BramPatch {
namespace {

// Hides the scroll bars of the document, as the "scroll" attribute of the
// body did for the browser control this page was first made for.
constexpr const char* HIDE_SCROLL_BARS_SCRIPT =
    "document.documentElement.style.overflow='hidden';"
    "if (document.body) { document.body.style.overflow='hidden';"
    " document.body.setAttribute('scroll','no'); }";

bool IsBlankPage(const wxString& url) { return url.empty() || url.StartsWith("about:"); }

}  // namespace

std::string PatchPageAddress(const std::string& base) {
  std::string address = base;
  while (!address.empty() && address.back() == '/') address.pop_back();
  return address + PATCHER_PAGE_PATH;
}

std::string PatcherPageAddress() {
  std::string base = PATCHER_PAGE_BASE;
  ReadMachineString(PATCHER_PAGE_KEY, PATCHER_PAGE_VALUE, &base);
  return PatchPageAddress(base);
}

wxWebView* CreatePatchPage(wxWindow* parent, const std::string& address) {
  if (!wxWebView::IsBackendAvailable(wxWebViewBackendDefault)) {
    LogPrintf("CreatePatchPage> no web view backend");
    return nullptr;
  }
  wxWebView* page = wxWebView::New();
  if (!page->Create(parent, PATCH_PAGE_ID, ToWxString(address), wxDefaultPosition,
                    wxSize(PATCH_PAGE_WIDTH, PATCH_PAGE_HEIGHT), wxBORDER_NONE | wxWANTS_CHARS)) {
    LogPrintf("CreatePatchPage> the web view could not be created");
    delete page;
    return nullptr;
  }
  page->Hide();  // until the page has loaded
  page->EnableContextMenu(false);
  page->EnableHistory(false);
  return page;
}

void PatchPageHost::OnNavigating(wxWebViewEvent& event) {
  m_failed = false;
  event.Skip();  // not vetoed: the navigation goes on
}

void PatchPageHost::OnError(wxWebViewEvent& event) {
  if (!IsBlankPage(event.GetURL())) {
    m_failed = true;
    LogPrintf("PatchPageHost::OnError> %s: %s", FromWxString(event.GetURL()).c_str(),
              FromWxString(event.GetString()).c_str());
  }
  event.Skip();
}

void PatchPageHost::OnLoaded(wxWebViewEvent& event) {
  event.Skip();
  if (m_failed || IsBlankPage(event.GetURL())) return;
  HideScrollBars();
  if (!m_page->IsShown()) {
    m_page->Show();
    m_shown = true;
  }
}

void PatchPageHost::OnNewWindow(wxWebViewEvent& event) { m_page->LoadURL(event.GetURL()); }

void PatchPageHost::HideScrollBars() { m_page->RunScriptAsync(HIDE_SCROLL_BARS_SCRIPT); }

}  // namespace BramPatch

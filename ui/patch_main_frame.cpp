#include "ui/patch_main_frame.h"

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/webview.h>

#include "engine/patch_options.h"
#include "platform/process_directory.h"
#include "platform/system_info.h"
#include "run/local_mode.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "ui/bram_icon.h"
#include "ui/wx_text.h"

namespace BramPatch {
namespace {

PatchOptions& OptionsOf(const PatchWindowSettings& settings) {
  return settings.options != nullptr ? *settings.options : PatchOptions::Get();
}

std::string OrDefault(const std::string& value, std::string (*fallback)()) {
  return value.empty() ? fallback() : value;
}

}  // namespace

PatchMainFrame::PatchMainFrame(const PatchWindowSettings& settings)
    : MainFrame(PATCH_WINDOW_TITLE),
      m_options(OptionsOf(settings)),
      m_executablePath(OrDefault(settings.executablePath, OS::GetExecutablePath)),
      m_timer(this, PATCHFRAME_ID_TIMER) {
  Bind(wxEVT_TIMER, &PatchMainFrame::OnTimer, this, PATCHFRAME_ID_TIMER);
  Bind(wxEVT_BUTTON, &PatchMainFrame::OnBrowse, this, PATCHFRAME_ID_BROWSE);

  m_panel =
      new wxScrolledWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxHSCROLL | wxVSCROLL);
  m_mainSizer = new wxBoxSizer(wxVERTICAL);
  m_page = CreatePatchPage(m_panel, OrDefault(settings.pageAddress, PatcherPageAddress));
  if (m_page != nullptr) {
    m_pageHost = std::make_unique<PatchPageHost>(m_page);
    m_page->Bind(wxEVT_WEBVIEW_NAVIGATING, &PatchMainFrame::OnPageNavigating, this);
    m_page->Bind(wxEVT_WEBVIEW_LOADED, &PatchMainFrame::OnPageLoaded, this);
    m_page->Bind(wxEVT_WEBVIEW_ERROR, &PatchMainFrame::OnPageError, this);
    m_page->Bind(wxEVT_WEBVIEW_NEWWINDOW, &PatchMainFrame::OnPageNewWindow, this);
    // The page area keeps its place while the page is hidden.
    m_mainSizer->Add(m_page, 0, wxEXPAND | wxALL | wxRESERVE_SPACE_EVEN_IF_HIDDEN, 5);
  } else {
    m_mainSizer->Add(PATCH_PAGE_WIDTH, PATCH_PAGE_HEIGHT, 0, wxEXPAND | wxALL, 5);
  }
  CreateInstallRow();
  m_panel->SetSizer(m_mainSizer);

  m_timer.Start(PATCHFRAME_TIMER_MS);

  CreateMainControls();
  SetBramIcon(*this, OrDefault(settings.iconPath, BramIconPath));
  ApplyUpdateButton()->Enable();
  if (m_options.IsRepair()) ApplyUpdateButton()->SetLabel(ToWxString(LoadMessage(MSG_REPAIR)));

  m_pathField->Disable();
  m_browse->Disable();
}

PatchMainFrame::~PatchMainFrame() {
  m_timer.Stop();
  StopAndJoinWorkers();  // they use m_checks
}

void PatchMainFrame::CreateInstallRow() {
  m_installRow = new wxBoxSizer(wxHORIZONTAL);
  const int label = m_options.IsRepair() ? MSG_REPAIRING_INSTALL : MSG_PATCHING_INSTALL;
  m_installLabel =
      new wxStaticText(m_panel, PATCHFRAME_ID_INSTALL_LABEL, ToWxString(LoadMessage(label)),
                       wxDefaultPosition, wxSize(80, 20));
  // The label's minimum follows its text (what wx 2's wxADJUST_MINSIZE did),
  // so a larger system font does not cut it off.
  m_installLabel->SetMinSize(m_installLabel->GetBestSize());
  m_installRow->Add(m_installLabel, 0, wxALIGN_CENTER_VERTICAL | wxALL, 5);
  m_pathField = new wxTextCtrl(m_panel, wxID_ANY, ToWxString(m_options.GetInstallPath()),
                               wxDefaultPosition, wxSize(215, 20));
  m_installRow->Add(m_pathField, 1, wxEXPAND | wxALL, 5);
  m_browse = new wxButton(m_panel, PATCHFRAME_ID_BROWSE, "...", wxDefaultPosition, wxSize(25, 20));
  m_installRow->Add(m_browse, 0, wxALIGN_CENTER_VERTICAL | wxALL, 0);
  m_mainSizer->Add(m_installRow, 0, wxEXPAND | wxALL, 5);
}

void PatchMainFrame::StartRun() {
  wxCommandEvent event(wxEVT_BUTTON, MAINFRAME_ID_APPLY_UPDATE);
  StartRun(event);
}

void PatchMainFrame::StartRun(wxCommandEvent& event) {
  ReplaceWorker(std::make_unique<PatchThread>(m_options, OS::GetSystemInfo(), m_checks));
  MainFrame::StartRun(event);
  m_browse->Enable(ApplyUpdateButton()->IsEnabled());
}

bool PatchMainFrame::Destroy() {
  m_timer.Stop();
  return MainFrame::Destroy();
}

void PatchMainFrame::EnableBrowse(bool enable) {
  OnMainThread([this, enable] { m_browse->Enable(enable); });
}

void PatchMainFrame::ShowInstallPath(const std::string& path) {
  OnMainThread([this, path] { m_pathField->ChangeValue(ToWxString(path)); });
}

void PatchMainFrame::SetDownloadDisplayFinished(bool finished) {
  OnMainThread([this, finished] { m_download.SetFinished(finished); });
}

void PatchMainFrame::SetDownloadProgressSource(DownloadProgressSource source) {
  m_progressSource = std::move(source);
}

void PatchMainFrame::OnTimer(wxTimerEvent&) { RefreshTick(); }

void PatchMainFrame::RefreshTick() {
  if (IsCancelRequested() && Worker() == nullptr) {
    Close(false);
    return;
  }
  if (!IsBusy() || Worker() == nullptr || !m_progressSource) return;
  const DownloadDisplayUpdate update =
      m_download.Refresh(m_progressSource(*Worker()), DownloadClock::now());
  if (update.gaugeRange) SetGaugeRange(*update.gaugeRange);
  if (update.gaugeValue) SetGaugeValue(*update.gaugeValue);
  if (update.status) StatusLine()->SetLabel(ToWxString(*update.status));
}

void PatchMainFrame::OnBrowse(wxCommandEvent&) {
  ClearLog();
  DetectLocalPackage(m_executablePath, false, m_options, GetLocalPackage());
  ShowInstallPath(m_options.GetInstallPath());
}

void PatchMainFrame::OnPageNavigating(wxWebViewEvent& event) { m_pageHost->OnNavigating(event); }

void PatchMainFrame::OnPageLoaded(wxWebViewEvent& event) { m_pageHost->OnLoaded(event); }

void PatchMainFrame::OnPageError(wxWebViewEvent& event) { m_pageHost->OnError(event); }

void PatchMainFrame::OnPageNewWindow(wxWebViewEvent& event) { m_pageHost->OnNewWindow(event); }

}  // namespace BramPatch

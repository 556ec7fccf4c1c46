// The patch window: the maker's page, the installation row with its browse
// button, then the log, status line, gauge and buttons of MainFrame, and a
// refresh timer that shows the download figures and carries out a close
// request made while no worker exists. The timer runs for the window's
// whole life.
#pragma once

#include <wx/timer.h>

#include <memory>
#include <string>

#include "run/patch_thread.h"
#include "ui/download_display.h"
#include "ui/main_frame.h"
#include "ui/patch_page.h"

class wxStaticText;
class wxWebView;
class wxWebViewEvent;

namespace BramPatch {

class PatchOptions;

// The window's title (with its trailing blank).
inline constexpr const char* PATCH_WINDOW_TITLE = "Omvel Patcher ";

enum PatchMainFrameId : int {
  PATCHFRAME_ID_TIMER = 1,
  PATCHFRAME_ID_BROWSE = 15,
  PATCHFRAME_ID_INSTALL_LABEL = 5105,
};

inline constexpr int PATCHFRAME_TIMER_MS = 500;

// What the window works on; empty fields take the program's defaults.
struct PatchWindowSettings {
  // The run settings shown and run; null: PatchOptions::Get().
  PatchOptions* options = nullptr;
  // The patcher whose package the browse button reads; "": the running program.
  std::string executablePath;
  // The page; "": PatcherPageAddress().
  std::string pageAddress;
  // The icon file; "": BramIconPath().
  std::string iconPath;
};

class PatchMainFrame : public MainFrame {
 public:
  // Builds the window, not shown. REQUIRES: the options outlive the window.
  explicit PatchMainFrame(const PatchWindowSettings& settings = {});
  ~PatchMainFrame() override;

  // Starts a run on a new worker, as "Apply Update" does; start-up calls it
  // for download and repair mode.
  void StartRun(wxCommandEvent& event) override;
  void StartRun();

  // PatchView, callable from any thread.
  void EnableBrowse(bool enable) override;
  void ShowInstallPath(const std::string& path) override;
  void SetDownloadDisplayFinished(bool finished) override;

  // Where the timer takes a worker's download progress from (by default the
  // worker's own progress block; tests give fakes). Main thread only.
  void SetDownloadProgressSource(DownloadProgressSource source);

  // For the owner and tests (main thread).
  wxWebView* Page() const { return m_page; }
  const PatchPageHost* PageHost() const { return m_pageHost.get(); }
  wxStaticText* InstallLabel() const { return m_installLabel; }
  wxTextCtrl* PathField() const { return m_pathField; }
  wxButton* BrowseButton() const { return m_browse; }
  wxBoxSizer* InstallRow() const { return m_installRow; }
  const wxTimer& Timer() const { return m_timer; }
  bool IsDownloadDisplayFinished() const { return m_download.IsFinished(); }

  // One refresh tick (the timer's handler).
  void RefreshTick();

  bool Destroy() override;

 private:
  void OnTimer(wxTimerEvent& event);
  void OnBrowse(wxCommandEvent& event);
  void OnPageNavigating(wxWebViewEvent& event);
  void OnPageLoaded(wxWebViewEvent& event);
  void OnPageError(wxWebViewEvent& event);
  void OnPageNewWindow(wxWebViewEvent& event);
  void CreateInstallRow();

  PatchOptions& m_options;
  const std::string m_executablePath;
  RealRunChecks m_checks;  // what the workers check; outlives them
  wxTimer m_timer;
  WindowDownloadDisplay m_download;
  DownloadProgressSource m_progressSource = SampleWorkerDownload;

  wxWebView* m_page = nullptr;
  std::unique_ptr<PatchPageHost> m_pageHost;
  wxBoxSizer* m_installRow = nullptr;
  wxStaticText* m_installLabel = nullptr;
  wxTextCtrl* m_pathField = nullptr;
  wxButton* m_browse = nullptr;
};

}  // namespace BramPatch

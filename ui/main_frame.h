// The generic part of the patch window: the log, the status line, the gauge,
// the buttons "Apply Update" and "Cancel"/"Exit", the worker of the run and
// the close logic. PatchMainFrame adds the page, the installation row, the
// refresh timer and makes the workers.
//
// The frame is the run's view (run/patch_view.h). A worker may call it from
// any thread: texts and the worker's events always go through the frame's
// event queue, in the order posted; control calls made on the main thread
// take effect at once, those of other threads are queued in their order; a
// message box or question asked by a worker is shown on the main thread
// while the worker waits for the answer.
#pragma once

#include <wx/frame.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "run/log_text.h"
#include "run/patch_view.h"

class wxBoxSizer;
class wxButton;
class wxCloseEvent;
class wxGauge;
class wxStaticText;
class wxTextCtrl;
class wxThreadEvent;

namespace BramPatch {

class PatchThread;

// Window ids of the buttons, and ids of the events that workers post.
enum MainFrameId : int {
  MAINFRAME_ID_APPLY_UPDATE = 0,
  MAINFRAME_ID_CANCEL = 1,
  MAINFRAME_ID_WORKER_FINISHED = 2,
  MAINFRAME_ID_APPEND_TEXT = 3,
  MAINFRAME_ID_PATCH_INSTALLED = 16,
};

// The frame's initial size, before it fits its controls.
inline constexpr int MAINFRAME_INITIAL_WIDTH = 900;
inline constexpr int MAINFRAME_INITIAL_HEIGHT = 800;

class MainFrame : public wxFrame, public PatchView {
 public:
  // Builds the frame (no controls yet: the derived class creates the panel
  // and the main sizer, then calls CreateMainControls) and makes it the
  // process's current view.
  explicit MainFrame(const wxString& title);
  ~MainFrame() override;
  MainFrame(const MainFrame&) = delete;
  MainFrame& operator=(const MainFrame&) = delete;

  // Starts m_worker, made by the derived class: on success the frame is busy,
  // "Apply Update" is disabled, "Cancel" is offered (and no earlier cancel
  // request stands) and the log gets the focus. When the thread
  // cannot be created or run, the worker is dropped and the buttons stay as
  // they were, so the user may try again.
  virtual void StartRun(wxCommandEvent& event);

  // PatchView, callable from any thread.
  void AppendText(int kind, const std::string& text) override;
  void WorkerFinished() override;
  void PatchInstalled() override;
  void SetGaugeRange(int range) override;
  void SetGaugeValue(int value) override;
  void EnableApplyUpdate(bool enable) override;
  void ClearLog() override;
  MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                  MessageBoxStyle style) override;
  std::optional<std::string> AskForProductExecutable() override;
  bool IsCancelRequested() const override { return m_cancelRequested.load(); }

  // Main thread only.
  bool IsBusy() const { return m_busy; }
  int InstalledPatches() const { return m_installedPatches; }
  // The latest worker, or null; it stays after it has ended until the next
  // run replaces it.
  PatchThread* Worker() const { return m_worker.get(); }
  wxTextCtrl* Log() const { return m_log; }
  wxStaticText* StatusLine() const { return m_statusLine; }
  wxGauge* Gauge() const { return m_gauge; }
  wxButton* ApplyUpdateButton() const { return m_applyUpdate; }
  wxButton* CancelButton() const { return m_cancel; }
  wxBoxSizer* MainSizer() const { return m_mainSizer; }

 protected:
  // Adds the log, the status line, the gauge and the button row to
  // m_mainSizer on m_panel. REQUIRES: both are set.
  void CreateMainControls();
  // Runs `call` on the main thread: at once when called there, otherwise
  // queued behind the calls queued before it.
  void OnMainThread(std::function<void()> call);
  // Makes `worker` the latest worker. A previous one that is still ending
  // (the files-in-use gate re-enables "Apply Update" just before its worker
  // ends) is kept until its worker-finished event and joined then.
  void ReplaceWorker(std::unique_ptr<PatchThread> worker);
  // Whether the latest worker exists and its thread is still running.
  bool WorkerAlive() const;
  // Asks every worker to stop, gives a waiting question its default answer
  // and joins them all. Idempotent; a derived class whose members the
  // workers use calls it from its destructor.
  void StopAndJoinWorkers();

  wxWindow* m_panel = nullptr;
  wxBoxSizer* m_mainSizer = nullptr;

 private:
  void OnApplyUpdate(wxCommandEvent& event);
  void OnCancelButton(wxCommandEvent& event);
  void OnClose(wxCloseEvent& event);
  void OnWorkerEvent(wxThreadEvent& event);
  void ShowText(int kind, const wxString& text);
  void FinishWorker(void* thread);

  // A question for the user, answered on the main thread while the calling
  // worker waits; `fallback` when the window goes away first.
  template <typename T>
  T AskOnMainThread(std::function<T()> ask, T fallback);

  bool m_busy = false;
  int m_installedPatches = 0;
  std::atomic<bool> m_cancelRequested{false};
  wxTextCtrl* m_log = nullptr;
  wxStaticText* m_statusLine = nullptr;
  wxGauge* m_gauge = nullptr;
  wxButton* m_applyUpdate = nullptr;
  wxButton* m_cancel = nullptr;
  std::unique_ptr<PatchThread> m_worker;
  bool m_workerUnjoined = false;  // m_worker was started and has not been joined
  std::vector<std::unique_ptr<PatchThread>> m_endingWorkers;

  std::mutex m_logLock;  // held around every change of the log's text
  LogText m_logText;     // guarded by m_logLock

  std::mutex m_questionsLock;
  bool m_questionsClosed = false;                         // guarded by m_questionsLock
  std::vector<std::function<void()>> m_abandonQuestions;  // guarded by m_questionsLock
};

}  // namespace BramPatch

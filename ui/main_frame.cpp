#include "ui/main_frame.h"

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/thread.h>

#include <algorithm>
#include <condition_variable>

#include "run/patch_messaging.h"
#include "run/patch_thread.h"
#include "text/fixed_texts.h"
#include "text/text_kind.h"
#include "ui/message_box.h"
#include "ui/wx_text.h"

namespace BramPatch {
namespace {

constexpr long MAINFRAME_STYLE = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxCLIP_CHILDREN;

wxColour ToWxColour(const LogColour& colour) {
  return wxColour(colour.red, colour.green, colour.blue);
}

wxThreadEvent* NewWorkerEvent(int id) { return new wxThreadEvent(wxEVT_THREAD, id); }

}  // namespace

MainFrame::MainFrame(const wxString& title)
    : wxFrame(nullptr, wxID_ANY, title, wxDefaultPosition,
              wxSize(MAINFRAME_INITIAL_WIDTH, MAINFRAME_INITIAL_HEIGHT), MAINFRAME_STYLE) {
  Bind(wxEVT_BUTTON, &MainFrame::OnApplyUpdate, this, MAINFRAME_ID_APPLY_UPDATE);
  Bind(wxEVT_BUTTON, &MainFrame::OnCancelButton, this, MAINFRAME_ID_CANCEL);
  Bind(wxEVT_THREAD, &MainFrame::OnWorkerEvent, this);
  Bind(wxEVT_CLOSE_WINDOW, &MainFrame::OnClose, this);
  SetCurrentView(this);
}

MainFrame::~MainFrame() {
  if (GetCurrentView() == this) SetCurrentView(nullptr);
  StopAndJoinWorkers();
}

void MainFrame::CreateMainControls() {
  m_log = new wxTextCtrl(m_panel, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(50, 250),
                         wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH);
  m_mainSizer->Add(m_log, 1, wxEXPAND | wxALL, 10);

  m_statusLine = new wxStaticText(m_panel, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                  wxSize(-1, 20), wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
  m_mainSizer->Add(m_statusLine, 0, wxEXPAND | wxLEFT | wxRIGHT, 10);

  m_gauge = new wxGauge(m_panel, wxID_ANY, 100, wxDefaultPosition, wxSize(-1, 25), wxGA_HORIZONTAL);
  m_mainSizer->Add(m_gauge, 0, wxFIXED_MINSIZE | wxEXPAND | wxALL, 10);

  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  m_applyUpdate = new wxButton(m_panel, MAINFRAME_ID_APPLY_UPDATE, FIXED_APPLY_UPDATE,
                               wxDefaultPosition, wxSize(120, 28));
  buttons->Add(m_applyUpdate, 0, wxALIGN_CENTER_VERTICAL | wxALL, 5);
  m_cancel =
      new wxButton(m_panel, MAINFRAME_ID_CANCEL, FIXED_CANCEL, wxDefaultPosition, wxSize(120, 28));
  buttons->Add(m_cancel, 0, wxALIGN_CENTER_VERTICAL | wxALL, 5);
  m_mainSizer->Add(buttons, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 5);

  // The frame takes the size its controls need, which is also its minimum.
  m_mainSizer->SetSizeHints(this);
  Centre();
  m_applyUpdate->Enable();
}

void MainFrame::StartRun(wxCommandEvent&) {
  if (m_worker && m_worker->Create() == wxTHREAD_NO_ERROR && m_worker->Run() == wxTHREAD_NO_ERROR) {
    m_workerUnjoined = true;
    m_busy = true;
    m_applyUpdate->Disable();
    // A new run (after a failed files-in-use gate) offers "Cancel" again,
    // and a cancel confirmed for the run before does not stop this one.
    m_cancelRequested = false;
    m_cancel->SetLabel(FIXED_CANCEL);
    m_cancel->Enable();
    m_log->SetFocus();
    return;
  }
  m_worker.reset();
  m_log->SetFocus();
}

void MainFrame::ReplaceWorker(std::unique_ptr<PatchThread> worker) {
  // Every started worker posts its worker-finished event at its very end;
  // one whose event has not arrived yet is joined when it does.
  if (m_worker && m_workerUnjoined) m_endingWorkers.push_back(std::move(m_worker));
  m_worker = std::move(worker);
  m_workerUnjoined = false;
}

bool MainFrame::WorkerAlive() const { return m_worker && m_worker->IsAlive(); }

void MainFrame::OnApplyUpdate(wxCommandEvent& event) { StartRun(event); }

void MainFrame::OnCancelButton(wxCommandEvent&) { Close(true); }

void MainFrame::OnClose(wxCloseEvent& event) {
  if (WorkerAlive() && !m_cancelRequested) {
    const char* question =
        m_installedPatches == 0 ? FIXED_CONFIRM_CANCEL : FIXED_CANCEL_AFTER_INSTALL_WARNING;
    wxMessageDialog dialog(this, question, GetTitle(), wxYES_NO | wxNO_DEFAULT | wxICON_WARNING);
    if (dialog.ShowModal() != wxID_YES) {
      if (event.CanVeto()) event.Veto();
      return;
    }
    m_busy = false;
  }
  m_cancel->Disable();
  m_cancelRequested = true;
  AppendText(TEXT_KIND_ERROR, FIXED_CANCELLING);
  if (!WorkerAlive()) {
    Destroy();
    return;
  }
  // The worker notices the request and ends; its worker-finished event
  // offers "Exit".
  if (event.CanVeto()) event.Veto();
}

void MainFrame::AppendText(int kind, const std::string& text) {
  wxThreadEvent* event = NewWorkerEvent(MAINFRAME_ID_APPEND_TEXT);
  event->SetInt(kind);
  event->SetString(ToWxString(text));
  wxQueueEvent(this, event);
}

void MainFrame::WorkerFinished() {
  wxThreadEvent* event = NewWorkerEvent(MAINFRAME_ID_WORKER_FINISHED);
  // Which worker ended: an older one may still be ending when the next run
  // has started.
  event->SetPayload<void*>(static_cast<void*>(wxThread::This()));
  wxQueueEvent(this, event);
}

void MainFrame::PatchInstalled() {
  wxQueueEvent(this, NewWorkerEvent(MAINFRAME_ID_PATCH_INSTALLED));
}

void MainFrame::OnWorkerEvent(wxThreadEvent& event) {
  switch (event.GetId()) {
    case MAINFRAME_ID_APPEND_TEXT:
      ShowText(event.GetInt(), event.GetString());
      break;
    case MAINFRAME_ID_WORKER_FINISHED:
      FinishWorker(event.GetPayload<void*>());
      break;
    case MAINFRAME_ID_PATCH_INSTALLED:
      ++m_installedPatches;
      break;
    default:
      event.Skip();
      break;
  }
}

void MainFrame::ShowText(int kind, const wxString& text) {
  if (m_log == nullptr) return;
  std::lock_guard lock(m_logLock);
  const LogText::Piece piece = m_logText.Append(kind, FromWxString(text));
  m_log->SetInsertionPointEnd();
  m_log->SetDefaultStyle(wxTextAttr(ToWxColour(piece.colour)));
  m_log->AppendText(ToWxString(piece.text));
}

void MainFrame::FinishWorker(void* thread) {
  PatchThread* latest = m_worker.get();
  if (thread != nullptr && latest != nullptr && thread != static_cast<wxThread*>(latest)) {
    for (auto it = m_endingWorkers.begin(); it != m_endingWorkers.end(); ++it) {
      if (thread == static_cast<wxThread*>(it->get())) {
        (*it)->Wait(wxTHREAD_WAIT_BLOCK);
        m_endingWorkers.erase(it);
        return;
      }
    }
    return;
  }
  if (latest != nullptr && thread != nullptr && m_workerUnjoined) {
    latest->Wait(wxTHREAD_WAIT_BLOCK);
    m_workerUnjoined = false;
  }
  m_busy = false;
  m_cancel->SetLabel(FIXED_EXIT);
  m_cancel->Enable();
}

void MainFrame::StopAndJoinWorkers() {
  // A worker that is still running is asked to stop, and one that waits for
  // an answer gets the default answer, so that joining cannot hang.
  m_cancelRequested = true;
  {
    std::lock_guard lock(m_questionsLock);
    m_questionsClosed = true;
    for (const auto& abandon : m_abandonQuestions) abandon();
    m_abandonQuestions.clear();
  }
  for (auto& worker : m_endingWorkers) worker->RequestDestroy();
  if (m_worker) m_worker->RequestDestroy();
  for (auto& worker : m_endingWorkers) worker->Wait(wxTHREAD_WAIT_BLOCK);
  m_endingWorkers.clear();
  if (m_worker && m_workerUnjoined) m_worker->Wait(wxTHREAD_WAIT_BLOCK);
  m_workerUnjoined = false;
  m_worker.reset();
}

void MainFrame::OnMainThread(std::function<void()> call) {
  if (wxThread::IsMain()) {
    call();
  } else {
    CallAfter(std::move(call));
  }
}

void MainFrame::SetGaugeRange(int range) {
  OnMainThread([this, range] {
    m_gauge->SetRange(std::max(range, 0));
    if (m_gauge->GetValue() > m_gauge->GetRange()) m_gauge->SetValue(m_gauge->GetRange());
  });
}

void MainFrame::SetGaugeValue(int value) {
  OnMainThread([this, value] { m_gauge->SetValue(std::clamp(value, 0, m_gauge->GetRange())); });
}

void MainFrame::EnableApplyUpdate(bool enable) {
  OnMainThread([this, enable] { m_applyUpdate->Enable(enable); });
}

void MainFrame::ClearLog() {
  OnMainThread([this] {
    std::lock_guard lock(m_logLock);
    m_log->Clear();
  });
}

template <typename T>
T MainFrame::AskOnMainThread(std::function<T()> ask, T fallback) {
  if (wxThread::IsMain()) return ask();
  struct Answer {
    std::mutex mutex;
    std::condition_variable arrived;
    std::optional<T> value;
    void Give(T given) {
      std::lock_guard lock(mutex);
      if (value) return;
      value = std::move(given);
      arrived.notify_all();
    }
  };
  auto answer = std::make_shared<Answer>();
  {
    std::lock_guard lock(m_questionsLock);
    if (m_questionsClosed) return fallback;
    m_abandonQuestions.push_back([answer, fallback] { answer->Give(fallback); });
  }
  CallAfter([answer, ask] { answer->Give(ask()); });
  std::unique_lock lock(answer->mutex);
  answer->arrived.wait(lock, [&] { return answer->value.has_value(); });
  return *answer->value;
}

MessageBoxAnswer MainFrame::ShowMessageBox(const std::string& text, const std::string& caption,
                                           MessageBoxStyle style) {
  const MessageBoxAnswer unanswered =
      style == MESSAGEBOX_YES_NO ? MESSAGEBOX_ANSWER_NO : MESSAGEBOX_ANSWER_OK;
  return AskOnMainThread<MessageBoxAnswer>(
      [text, caption, style] { return ShowOwnerlessMessageBox(text, caption, style); }, unanswered);
}

std::optional<std::string> MainFrame::AskForProductExecutable() {
  return AskOnMainThread<std::optional<std::string>>(
      [this] { return AskForProductExecutableFile(this); }, std::nullopt);
}

}  // namespace BramPatch

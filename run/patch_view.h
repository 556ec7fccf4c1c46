// The one interface through which a patch run reaches its window.
//
// The window implements it by queueing every call to its main thread (the
// toolkit must only be touched there), the console front end with a terminal,
// tests with a recording fake. Calls may come from any thread; an
// implementation delivers the calls of one thread in the order they were made.
#pragma once

#include <optional>
#include <string>

namespace BramPatch {

// Buttons of a message box, and its answers.
enum MessageBoxStyle : int {
  MESSAGEBOX_OK = 0,
  MESSAGEBOX_YES_NO = 1,
};
enum MessageBoxAnswer : int {
  MESSAGEBOX_ANSWER_OK = 0,
  MESSAGEBOX_ANSWER_YES = 1,
  MESSAGEBOX_ANSWER_NO = 2,
};

class PatchView {
 public:
  virtual ~PatchView() = default;

  // Appends one text of a kind (text/text_kind.h) to the log.
  virtual void AppendText(int kind, const std::string& text) = 0;
  // The worker has finished: "Cancel" becomes "Exit".
  virtual void WorkerFinished() = 0;
  // One more patch archive was installed.
  virtual void PatchInstalled() = 0;

  virtual void SetGaugeRange(int range) = 0;
  virtual void SetGaugeValue(int value) = 0;
  virtual void EnableApplyUpdate(bool enable) = 0;
  // The browse button "..." next to the installation path.
  virtual void EnableBrowse(bool enable) = 0;
  // Shows the installation path in the window's path field.
  virtual void ShowInstallPath(const std::string& path) = 0;
  virtual void ClearLog() = 0;
  // Tells the progress display that the download figures are final, so the
  // gauge belongs to whoever sets it next (the repair run).
  virtual void SetDownloadDisplayFinished(bool finished) = 0;

  // Shows a message box without owner and blocks the calling thread until the
  // user answers it.
  virtual MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                          MessageBoxStyle style) = 0;
  // Asks the user for the product's executable ("Kestro.exe"); nothing when
  // the user cancelled. Blocks the calling thread until answered.
  virtual std::optional<std::string> AskForProductExecutable() = 0;

  // True once the user has confirmed a cancel; stays true.
  virtual bool IsCancelRequested() const = 0;
};

}  // namespace BramPatch

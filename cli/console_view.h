// The console front end's view: the log on standard output (coloured by kind
// on a terminal, plain text otherwise), the gauge as a progress bar on a
// terminal's standard error, message boxes and the installation question as
// text (answered at the terminal, or "OK"/"No" when nobody can answer).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "run/log_text.h"
#include "run/patch_view.h"

namespace BramPatch {

struct ConsoleOptions {
  bool colour = false;       // standard output is a terminal
  bool progressBar = false;  // standard error is a terminal
  bool interactive = false;  // someone can answer on standard input
};

class ConsoleView : public PatchView {
 public:
  ConsoleView(const ConsoleOptions& options, std::FILE* out, std::FILE* err, std::FILE* in);

  void AppendText(int kind, const std::string& text) override;
  void WorkerFinished() override { m_workerFinished = true; }
  void PatchInstalled() override { ++m_patchesInstalled; }
  void SetGaugeRange(int range) override;
  void SetGaugeValue(int value) override;
  void EnableApplyUpdate(bool enable) override { m_applyUpdateEnabled = enable; }
  void EnableBrowse(bool) override {}
  void ShowInstallPath(const std::string& path) override;
  void ClearLog() override {}  // a terminal keeps what it showed
  void SetDownloadDisplayFinished(bool) override {}
  MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                  MessageBoxStyle style) override;
  std::optional<std::string> AskForProductExecutable() override;
  bool IsCancelRequested() const override { return m_cancelRequested; }

  // The download figures: the bar at `percent` of 100 with `status` (when not
  // empty) beside it, on a terminal's standard error only.
  void ShowDownloadProgress(std::uint32_t percent, const std::string& status);

  // Ctrl+C: asks for confirmation when someone can answer ("Do you really want
  // to cancel?", or the warning once a patch is installed), then sets the
  // cancel request and says so. Callable from any thread.
  void RequestCancel(bool confirm);
  // Asks whether to apply the local package; true without asking when not
  // interactive is false (the caller decides).
  bool AskYesNo(const std::string& question);

  bool WorkerHasFinished() const { return m_workerFinished; }
  bool IsApplyUpdateEnabled() const { return m_applyUpdateEnabled; }
  int PatchesInstalled() const { return m_patchesInstalled; }

 private:
  // REQUIRES: m_mutex held.
  void ClearProgressLine();
  void DrawProgress();
  std::string ReadAnswer();

  const ConsoleOptions m_options;
  std::FILE* const m_out;
  std::FILE* const m_err;
  std::FILE* const m_in;
  std::mutex m_mutex;  // guards the streams and everything below
  LogText m_log;
  std::string m_shownInstallPath;
  int m_gaugeRange = 0;
  int m_gaugeValue = 0;
  int m_drawnPercent = -1;  // -1: no progress line on screen
  std::string m_status;     // shown after the bar while a download runs
  std::atomic<bool> m_cancelRequested{false};
  std::atomic<bool> m_workerFinished{false};
  std::atomic<bool> m_applyUpdateEnabled{true};
  std::atomic<int> m_patchesInstalled{0};
};

}  // namespace BramPatch

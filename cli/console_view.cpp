#include "cli/console_view.h"

#include <algorithm>

#include "text/fixed_texts.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

const char* AnsiColour(const LogColour& colour) {
  if (colour == LOG_COLOUR_ERROR) return "\033[31m";
  if (colour == LOG_COLOUR_SECONDARY) return "\033[90m";
  return "\033[0m";
}

constexpr int PROGRESS_BAR_WIDTH = 40;

}  // namespace

ConsoleView::ConsoleView(const ConsoleOptions& options, std::FILE* out, std::FILE* err,
                         std::FILE* in)
    : m_options(options), m_out(out), m_err(err), m_in(in) {}

void ConsoleView::AppendText(int kind, const std::string& text) {
  std::lock_guard lock(m_mutex);
  ClearProgressLine();
  // The log's colour rule; every text is a line of its own here.
  const LogText::Piece piece = m_log.Append(kind, text);
  if (m_options.colour) {
    std::fprintf(m_out, "%s%s\033[0m\n", AnsiColour(piece.colour), text.c_str());
  } else {
    std::fprintf(m_out, "%s\n", text.c_str());
  }
  std::fflush(m_out);
  DrawProgress();
}

void ConsoleView::SetGaugeRange(int range) {
  std::lock_guard lock(m_mutex);
  m_status.clear();  // the download figures belong to the download
  m_gaugeRange = range;
  DrawProgress();
}

void ConsoleView::SetGaugeValue(int value) {
  std::lock_guard lock(m_mutex);
  m_gaugeValue = value;
  DrawProgress();
}

void ConsoleView::ShowInstallPath(const std::string& path) {
  std::lock_guard lock(m_mutex);
  if (path == m_shownInstallPath) return;
  m_shownInstallPath = path;
  ClearProgressLine();
  std::fprintf(m_out, "%s %s\n", LoadMessage(MSG_PATCHING_INSTALL).c_str(), path.c_str());
  std::fflush(m_out);
}

void ConsoleView::ClearProgressLine() {
  if (m_drawnPercent < 0) return;
  std::fprintf(m_err, "\r%*s\r", static_cast<int>(PROGRESS_BAR_WIDTH + 8 + m_status.size()), "");
  std::fflush(m_err);
  m_drawnPercent = -1;
}

void ConsoleView::DrawProgress() {
  if (!m_options.progressBar || m_gaugeRange <= 0) return;
  const long long value = std::min<long long>(std::max(m_gaugeValue, 0), m_gaugeRange);
  const int percent = static_cast<int>(value * 100 / m_gaugeRange);
  if (percent == m_drawnPercent) return;
  const int filled = percent * PROGRESS_BAR_WIDTH / 100;
  std::fprintf(m_err, "\r[%s%s] %3d%% %s", std::string(filled, '#').c_str(),
               std::string(PROGRESS_BAR_WIDTH - filled, ' ').c_str(), percent, m_status.c_str());
  std::fflush(m_err);
  m_drawnPercent = percent;
}

void ConsoleView::ShowDownloadProgress(std::uint32_t percent, const std::string& status) {
  std::lock_guard lock(m_mutex);
  if (!status.empty() && status != m_status) {
    ClearProgressLine();
    m_status = status;
  }
  m_gaugeRange = 100;
  m_gaugeValue = static_cast<int>(percent);
  DrawProgress();
}

std::string ConsoleView::ReadAnswer() {
  char line[4096];
  if (std::fgets(line, sizeof line, m_in) == nullptr) return std::string();
  std::string answer = line;
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  return answer;
}

MessageBoxAnswer ConsoleView::ShowMessageBox(const std::string& text, const std::string& caption,
                                             MessageBoxStyle style) {
  std::lock_guard lock(m_mutex);
  ClearProgressLine();
  std::fprintf(m_err, "%s: %s\n", caption.c_str(), text.c_str());
  MessageBoxAnswer answer =
      style == MESSAGEBOX_YES_NO ? MESSAGEBOX_ANSWER_NO : MESSAGEBOX_ANSWER_OK;
  if (m_options.interactive) {
    std::fputs(style == MESSAGEBOX_YES_NO ? "[y/N] " : "[Enter] ", m_err);
    std::fflush(m_err);
    const std::string reply = ReadAnswer();
    if (style == MESSAGEBOX_YES_NO && (reply == "y" || reply == "Y" || reply == "yes")) {
      answer = MESSAGEBOX_ANSWER_YES;
    }
  }
  std::fflush(m_err);
  return answer;
}

std::optional<std::string> ConsoleView::AskForProductExecutable() {
  if (!m_options.interactive) return std::nullopt;
  std::lock_guard lock(m_mutex);
  ClearProgressLine();
  std::fputs("Locate Kestro.exe...: ", m_err);
  std::fflush(m_err);
  const std::string path = ReadAnswer();
  if (path.empty()) return std::nullopt;
  return path;
}

bool ConsoleView::AskYesNo(const std::string& question) {
  if (!m_options.interactive) return false;
  return ShowMessageBox(question, "Omvel Patcher", MESSAGEBOX_YES_NO) == MESSAGEBOX_ANSWER_YES;
}

void ConsoleView::RequestCancel(bool confirm) {
  if (m_cancelRequested || m_workerFinished) return;
  if (confirm && m_options.interactive) {
    const char* question =
        m_patchesInstalled > 0 ? FIXED_CANCEL_AFTER_INSTALL_WARNING : FIXED_CONFIRM_CANCEL;
    if (!AskYesNo(question)) return;
  }
  m_cancelRequested = true;
  AppendText(TEXT_KIND_NORMAL, FIXED_CANCELLING);
}

}  // namespace BramPatch

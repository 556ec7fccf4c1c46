#include "cli/console_front_end.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/patch_options.h"
#include "online/download_mode_task.h"
#include "online/download_progress.h"
#include "platform/system_info.h"
#include "run/patch_messaging.h"
#include "run/patch_thread.h"
#include "text/message_ids.h"
#include "text/messages.h"

namespace BramPatch {
namespace {

// How often the download figures are refreshed, like the window's timer.
constexpr std::chrono::milliseconds CLI_PROGRESS_PERIOD{500};

}  // namespace

ConsoleFrontEnd::~ConsoleFrontEnd() {
  if (m_view && GetCurrentView() == m_view.get()) SetCurrentView(nullptr);
}

void ConsoleFrontEnd::ShowStartupMessage(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

bool ConsoleFrontEnd::RelaunchElevated(const CommandLineSettings&,
                                       const std::vector<std::string>&) {
  // A console program keeps its terminal: rather than start an elevated copy
  // in another session, it says what it needs and ends.
  ShowStartupMessage(LoadMessage(MSG_INSUFFICIENT_PRIVILEGES),
                     LoadMessage(MSG_REQUIRES_ADMIN_PRIVILEGES));
  return true;
}

PatchView& ConsoleFrontEnd::CreateView() {
  m_view = std::make_unique<ConsoleView>(m_options, stdout, stderr, stdin);
  SetCurrentView(m_view.get());
  return *m_view;
}

int RunConsolePatcher(std::vector<std::string> args, bool assumeYes, ConsoleFrontEnd& frontEnd) {
  const StartupResult startup = RunStartup(std::move(args), frontEnd);
  ConsoleView* view = frontEnd.View();
  switch (startup.outcome) {
    case StartupOutcome::FAILED:
    case StartupOutcome::NOTHING_TO_DO:
      return CLI_EXIT_NO_RUN;
    case StartupOutcome::WAIT_FOR_USER:
      if (!assumeYes && !view->AskYesNo("Apply the update now?")) {
        std::fprintf(stderr, "Nothing was changed. Pass --yes to apply the update.\n");
        return CLI_EXIT_NO_RUN;
      }
      break;
    case StartupOutcome::START_RUN:
      break;
  }

  RealRunChecks checks;
  auto worker = std::make_unique<PatchThread>(PatchOptions::Get(), OS::GetSystemInfo(), checks);
  if (worker->Create() != wxTHREAD_NO_ERROR || worker->Run() != wxTHREAD_NO_ERROR) {
    std::fprintf(stderr, "The patch worker could not be started.\n");
    return CLI_EXIT_NO_RUN;
  }
  // While a download runs, its figures (percent, kB, time left) are shown
  // the way the window's refresh timer shows them.
  while (worker->IsAlive()) {
    const DownloadProgress progress = worker->GetDownloadTask().GetProgress();
    if (progress.m_state == DOWNLOAD_STATE_DOWNLOADING) {
      const DownloadDisplay display =
          ComputeDownloadDisplay(progress, DownloadSecondsElapsed(progress, DownloadClock::now()));
      view->ShowDownloadProgress(display.m_gauge, display.m_set_status ? display.m_status : "");
    }
    std::this_thread::sleep_for(CLI_PROGRESS_PERIOD);
  }
  worker->Wait();
  return worker->Completed() ? CLI_EXIT_COMPLETED : CLI_EXIT_ABORTED;
}

}  // namespace BramPatch

// The console front end's side of the shared start-up sequence, and its run.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/console_view.h"
#include "run/startup.h"

namespace BramPatch {

// Exit statuses of omvel-patcher-cli.
inline constexpr int CLI_EXIT_COMPLETED = 0;  // "Patching completed."
inline constexpr int CLI_EXIT_ABORTED = 1;    // "Patching aborted."
inline constexpr int CLI_EXIT_NO_RUN = 2;     // no run could start

class ConsoleFrontEnd : public StartupFrontEnd {
 public:
  explicit ConsoleFrontEnd(const ConsoleOptions& options) : m_options(options) {}
  ~ConsoleFrontEnd() override;

  void ShowStartupMessage(const std::string& text, const std::string& caption) override;
  bool RelaunchElevated(const CommandLineSettings& settings,
                        const std::vector<std::string>& args) override;
  PatchView& CreateView() override;

  // The view once CreateView has run; null before.
  ConsoleView* View() { return m_view.get(); }

 private:
  const ConsoleOptions m_options;
  std::unique_ptr<ConsoleView> m_view;
};

// The whole console program after its process set-up: start-up, then the run.
// `assumeYes` starts local mode without asking.
int RunConsolePatcher(std::vector<std::string> args, bool assumeYes, ConsoleFrontEnd& frontEnd);

}  // namespace BramPatch

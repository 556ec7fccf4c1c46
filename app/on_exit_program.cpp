#include "app/on_exit_program.h"

#include <cstdio>
#include <string>

#include "platform/child_spawn.h"
#include "platform/process_launch.h"
#include "platform/windows_command_line.h"
#include "run/command_line.h"
#include "text/message_ids.h"
#include "text/messages.h"

namespace BramPatch {

void RunOnExitProgram(const CommandLineSettings& settings) {
  if (!settings.onExitGiven || settings.onExitCommand.empty()) return;
  int pid = -1;
  int error = 0;
  if (!OS::LaunchProcess(SplitWindowsCommandLine(settings.onExitCommand), true, &pid, &error)) {
    const std::string line = LoadMessage(MSG_ERROR_CREATING_PROCESS) + std::to_string(error) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    return;
  }
  int exitCode = 0;
  OS::WaitForChild(pid, ONEXIT_WAIT_MS, &exitCode);
}

}  // namespace BramPatch

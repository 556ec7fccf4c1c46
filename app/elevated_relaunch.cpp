#include "app/elevated_relaunch.h"

#include <cstdlib>

#include "app/on_exit_program.h"
#include "engine/patch_options.h"
#include "engine/windows_argument_quote.h"
#include "foundation/log.h"
#include "platform/child_spawn.h"
#include "platform/process_launch.h"
#include "platform/windows_command_line.h"
#include "run/command_line.h"
#include "text/message_ids.h"
#include "text/messages.h"

namespace BramPatch {
namespace {

// What the elevated copy needs of our environment: the display, the message
// language, the temporary directory and the patcher's registry file.
constexpr const char* HANDED_ON_VARIABLES[] = {
    "DISPLAY",  "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR",
    "LANGUAGE", "LC_ALL",     "LC_MESSAGES",     "LANG",
    "TEMP",     "TMPDIR",     "OMVEL_REGISTRY",
};

std::string JoinServers(const std::vector<std::string>& servers) {
  std::string joined;
  for (const std::string& server : servers) {
    if (!joined.empty()) joined += ';';
    joined += server;
  }
  return joined;
}

// The arguments a command line holds after its program name.
std::vector<std::string> SplitArguments(const std::string& arguments) {
  std::vector<std::string> words = SplitWindowsCommandLine("x " + arguments);
  words.erase(words.begin());
  return words;
}

}  // namespace

std::string BuildRelaunchParameters(PatchOptions& options) {
  std::string parameters = "--admin ";
  if (options.IsRepair()) parameters += "--repair ";
  if (!options.GetServerList().empty()) {
    parameters += "--server=" + QuoteWindowsArgument(JoinServers(options.GetServerList())) + " ";
  }
  const std::string final = options.GetFinalVersion();
  const std::string current = options.GetCurrentVersion();
  parameters +=
      "--final=" + final + " " + current + " " + QuoteWindowsArgument(options.GetInstallPath());
  return parameters;
}

std::vector<std::string> ElevationCommand() {
  const char* replacement = std::getenv(ELEVATE_VARIABLE);
  if (replacement != nullptr && *replacement != '\0') return SplitWindowsCommandLine(replacement);
  std::vector<std::string> command = {"pkexec", "env"};
  for (const char* name : HANDED_ON_VARIABLES) {
    if (const char* value = std::getenv(name)) command.push_back(std::string(name) + "=" + value);
  }
  return command;
}

bool RelaunchElevated(PatchOptions& options, const CommandLineSettings& settings,
                      const std::string& executable, const StartupMessageFunction& showMessage) {
  const std::string parameters = BuildRelaunchParameters(options);
  LogPrintf("parm: %s", parameters.c_str());

  std::vector<std::string> command = ElevationCommand();
  command.push_back(executable);
  for (std::string& word : SplitArguments(parameters)) command.push_back(std::move(word));

  int pid = -1;
  int error = 0;
  int exitCode = 0;
  bool started = OS::LaunchProcess(command, false, &pid, &error);
  if (!started) {
    LogPrintf("RelaunchElevated> %s could not be started, err %d", command.front().c_str(), error);
  } else if (OS::WaitForChild(pid, OS::OS_WAIT_INFINITE, &exitCode) == OS::ChildState::EXITED &&
             (exitCode == ELEVATION_REFUSED || exitCode == ELEVATION_UNAVAILABLE)) {
    LogPrintf("RelaunchElevated> %s refused, exit code %d", command.front().c_str(), exitCode);
    started = false;
  }
  if (!started) {
    showMessage(LoadMessage(MSG_INSUFFICIENT_PRIVILEGES),
                LoadMessage(MSG_REQUIRES_ADMIN_PRIVILEGES));
  }
  RunOnExitProgram(settings);
  return true;
}

}  // namespace BramPatch

// Handing the run over to an elevated copy of the patcher when this process
// may not write to the installation.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace BramPatch {

class PatchOptions;
struct CommandLineSettings;

// The environment variable that replaces the elevation command (tests set
// it to a stub that runs its arguments or refuses).
inline constexpr const char* ELEVATE_VARIABLE = "OMVEL_ELEVATE";

// Exit statuses of the elevation command that mean the copy never started:
// pkexec's "dismissed" and "not authorised", and a shell's "cannot run".
inline constexpr int ELEVATION_REFUSED = 126;
inline constexpr int ELEVATION_UNAVAILABLE = 127;

// The elevated copy's parameters: "--admin ", then "--repair " when repair
// is set, then "--server=\"s1;s2;...\" " when there are servers, then
// "--final=" + final version + " " + current version + " \"" + install
// path + "\"". Reads the current version through its getter, which may take
// the first candidate build. A value holding a double quote (or a path that
// ends in a backslash) is escaped so that the copy's command line reads it
// back unchanged; ordinary values appear exactly as listed.
std::string BuildRelaunchParameters(PatchOptions& options);

// The elevation command: the words of OMVEL_ELEVATE (split as a Windows
// command line) when it is set and not empty. Otherwise pkexec, which starts
// its program with a clean environment, so "env" hands on the display, the
// language and the patcher's own settings that are set here.
std::vector<std::string> ElevationCommand();

// Shows a message box without owner (text, caption).
using StartupMessageFunction =
    std::function<void(const std::string& text, const std::string& caption)>;

// REQUIRES: the write-access check of the installation has failed.
// Starts `executable` through the elevation command with the parameters
// above (logged as "parm: ..."), waits for it without time limit, then runs
// the on-exit program. When the elevated copy cannot be started, or the user
// declines (the command ends with ELEVATION_REFUSED or ELEVATION_UNAVAILABLE),
// shows message 132 with caption 134 first. Returns true: this instance ends.
bool RelaunchElevated(PatchOptions& options, const CommandLineSettings& settings,
                      const std::string& executable, const StartupMessageFunction& showMessage);

}  // namespace BramPatch

// The start-up sequence shared by the window program and the console front
// end: crash handling, command line, installation, write access, the view,
// the engine's hooks, the local package, and the choice of what happens next.
#pragma once

#include <string>
#include <vector>

#include "run/command_line.h"

namespace BramPatch {

class PatchView;

// What differs between the front ends.
class StartupFrontEnd {
 public:
  virtual ~StartupFrontEnd() = default;
  // A message box without owner, before any view exists.
  virtual void ShowStartupMessage(const std::string& text, const std::string& caption) = 0;
  // Without write access and without --admin: starts an elevated copy of the
  // patcher (which then does the work) or reports why it cannot. True when
  // this instance is to end.
  virtual bool RelaunchElevated(const CommandLineSettings& settings,
                                const std::vector<std::string>& args) = 0;
  // Creates and shows the view; it becomes the current view and must outlive
  // the run.
  virtual PatchView& CreateView() = 0;
};

enum class StartupOutcome {
  FAILED,         // the program ends (no view stays open)
  START_RUN,      // download or repair selected: start the run at once
  WAIT_FOR_USER,  // local mode: the view waits for "Apply Update"
  NOTHING_TO_DO,  // no mode: "Apply Update" disabled, the red text posted
};

struct StartupResult {
  StartupOutcome outcome = StartupOutcome::FAILED;
  CommandLineSettings settings;
};

// The start sequence. args are the program's arguments, args[0] the program.
// Installs the crash handlers and takes the process's reference on the
// socket manager, whatever the outcome: call FinishStartup at exit.
StartupResult RunStartup(std::vector<std::string> args, StartupFrontEnd& frontEnd);

// The front ends' last step, once no patch worker runs any more: releases the
// socket manager (ending its worker thread), then disarms the crash
// handlers' exit check. Releases only what RunStartup took; a second call
// only disarms again.
void FinishStartup();

// The text posted when no mode was selected.
inline constexpr const char* NO_PATCH_OPERATION_TEXT =
    "No valid patch operation was specified. Patching aborted.";

}  // namespace BramPatch

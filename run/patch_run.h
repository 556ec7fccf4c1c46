// One patch run: the gates in their fixed order, then exactly one mode
// routine, then the end message. The worker thread runs it; it reports only
// through the messaging channels and the current view.
#pragma once

#include <functional>
#include <string>

namespace OS {
class SystemInfo;
}

namespace BramPatch {

class PatchOptions;

// The checks that need the registry or the asset database; the real ones
// (RealRunChecks) are wired at start-up, tests inject others.
class RunChecks {
 public:
  virtual ~RunChecks() = default;
  virtual bool CheckWriteAccess(const std::string& installPath) = 0;
  // True when this process now holds the installation's asset database
  // exclusively.
  virtual bool CheckFilesInUse(const std::string& installPath) = 0;
};

// A mode routine returns true for a completed run, false for an aborted one.
// Each gets the run's temporary-directory setting (empty in repair mode).
using ModeRoutine = std::function<bool(const std::string& tempDirectory)>;

struct ModeRoutines {
  ModeRoutine repair;
  ModeRoutine local;
  ModeRoutine download;
};

// Runs one patch run to its end message ("Patching completed." or "Patching
// aborted."). Returns true when the run completed. Sets the message language
// to English first; the worker-finished event is the caller's (the thread's)
// last step.
bool ExecutePatchRun(PatchOptions& options, OS::SystemInfo& system, RunChecks& checks,
                     const ModeRoutines& modes);

}  // namespace BramPatch

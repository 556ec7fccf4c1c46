// The patch worker: one thread per run, started by the view's front end when
// "Apply Update" is pressed or when start-up starts the run by itself.
#pragma once

#include <atomic>
#include <string>

#include "foundation/bram_result.h"
#include "online/download_mode_task.h"
#include "run/guarded_thread.h"
#include "run/local_mode.h"
#include "run/patch_run.h"

namespace OS {
class SystemInfo;
}

namespace BramPatch {

class PatchOptions;

// Where the engine and the download loop report text. The base discards it.
class OmvelPatchTask {
 public:
  virtual ~OmvelPatchTask() = default;
  // text in the narrow form of the formats (UTF-8 here).
  virtual void ReportText(int kind, std::string text);
  virtual void ReportWideText(int kind, std::string text);
};

// A joinable worker that tells the view when its body has ended. The newest
// one is the process's current worker: KeepGoing asks it whether it is being
// destroyed.
class APThread : public wxGuardedThread {
 public:
  APThread();
  ~APThread() override;
  // Asks the body to stop at its next KeepGoing.
  void RequestDestroy() { m_destroying = true; }

 protected:
  // The end of every worker body: posts the worker-finished event.
  int GuardedEntry() override;

 private:
  std::atomic<bool> m_destroying{false};
};

class PatchThread : public APThread, public OmvelPatchTask, public PatchInstaller {
 public:
  // REQUIRES: options, system and checks outlive the thread.
  PatchThread(PatchOptions& options, OS::SystemInfo& system, RunChecks& checks);

  void ReportText(int kind, std::string text) override;
  void ReportWideText(int kind, std::string text) override;

  // Unpacks one archive into a fresh temporary directory and applies it. 0 on
  // success, 2 when no temporary directory could be made, 10 when the archive
  // could not be unpacked or applied or the user cancelled.
  BramResult InstallPatchArchive(const std::string& archivePath) override;
  // Applies an unpacked patch while the registry carries the "IsPatching" mark.
  bool ApplyUnpackedPatch(const std::string& patchDirectory);
  void RebuildAssetDatabase() override;

  // After the thread has ended: whether the run completed.
  bool Completed() const { return m_completed; }
  // The download mode's catalogue and progress; the window's refresh samples
  // GetDownloadTask().GetProgress() from its own thread.
  PatchDownloadTask& GetDownloadTask() { return m_downloadTask; }

 protected:
  int GuardedEntry() override;

 private:
  PatchOptions& m_options;
  OS::SystemInfo& m_system;
  RunChecks& m_checks;
  std::string m_tempDirectory;  // where the run makes its temporary directories
  PatchDownloadTask m_downloadTask;
  std::atomic<bool> m_completed{false};
};

// The checks of a real run: the registry, the installation, the database.
class RealRunChecks : public RunChecks {
 public:
  bool CheckWriteAccess(const std::string& installPath) override;
  bool CheckFilesInUse(const std::string& installPath) override;
};

}  // namespace BramPatch

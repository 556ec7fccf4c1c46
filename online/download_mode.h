// Download mode: fetches the patch catalogue from the first patch server
// that serves one, then downloads and installs one patch archive after the
// other, from the installation's current build towards the final build, and
// finally has the asset database rebuilt.
#pragma once

#include <functional>
#include <string>

namespace BramPatch {

class PatchDownloadTask;
class PatchInstaller;
class PatchOptions;

// What the loop needs of the patch worker beyond PatchInstaller. Every
// member may be empty; all are called on the worker's thread.
struct DownloadModeHooks {
  // The window's cancel-requested flag, asked before every chunk of a
  // transfer (PatchDownloadCallback; the engine's keep-going predicate is
  // asked as well). Must not block.
  std::function<bool()> m_cancel_requested;
  // Tells the window that one more patch was installed (event 16).
  std::function<void()> m_patch_installed;
  // The folder the archives are downloaded into, created when missing;
  // empty: the temporary directory (TEMP, else TMPDIR, else /tmp). An
  // archive keeps the patch name: <current>_to_<next>.zip.
  std::string m_download_directory;
};

// Runs download mode on the patch worker's thread over options' servers,
// versions and candidate builds, which it advances as patches are
// installed. `task` keeps the catalogue and the progress block that the
// window samples (task.GetProgress()). Texts go to the engine's message
// sink (engine/patch_callbacks.h). *installed (the caller's counter) is set
// to 0 and raised by one per installed patch.
//
// True when the loop ended normally: the final build reached, or no patch
// left for the current build and no candidate build left, or a catalogue
// that would lead back to a build already reached (said, kind 1). The asset
// database is then rebuilt when at least one patch was installed. False
// when a failure stopped it (no catalogue, the download, the temporary
// folder, the installation, or a cancel); patches installed before stay
// installed and there is no rebuild.
bool RunDownloadMode(PatchOptions& options, PatchDownloadTask& task, PatchInstaller& installer,
                     const DownloadModeHooks& hooks, int* installed);

}  // namespace BramPatch

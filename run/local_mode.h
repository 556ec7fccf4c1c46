// Local mode: the patch package appended to the patcher's own executable,
// applied along its chain of builds without any network.
#pragma once

#include <string>

#include "foundation/bram_result.h"

namespace BramPatch {

class PatchOptions;
class PatchPackage;

// What a run does with one patch archive and at its end; the patch worker
// provides it.
class PatchInstaller {
 public:
  virtual ~PatchInstaller() = default;
  // Unpacks and applies one archive; 0 on success. Posts its own messages.
  virtual BramResult InstallPatchArchive(const std::string& archivePath) = 0;
  virtual void RebuildAssetDatabase() = 0;
};

// The package reader of the running executable, one per process.
PatchPackage& GetLocalPackage();

// Looks for a package in executablePath that applies to the installation
// (found in the registry when useRegistry, otherwise asked of the user) and
// selects local mode when one does. Runs on the main thread.
bool DetectLocalPackage(const std::string& executablePath, bool useRegistry, PatchOptions& options,
                        PatchPackage& package);

// Applies the package's patches from the current build on until the final
// build or the package's end, then rebuilds the asset database. True when
// the run completed. Runs on the patch worker.
bool RunLocalMode(PatchOptions& options, PatchPackage& package, PatchInstaller& installer);

// One patch, from the current version to the next version.
bool ApplyLocalStep(PatchOptions& options, PatchPackage& package, PatchInstaller& installer);

}  // namespace BramPatch

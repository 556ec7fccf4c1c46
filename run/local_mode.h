// Local mode: the patch package appended to the patcher's own executable,
// applied along its chain of builds without any network.
#pragma once

#include <string>

#include "engine/patch_installer.h"

namespace BramPatch {

class PatchOptions;
class PatchPackage;

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

// What a patch run does with one patch archive and at its end. The patch
// worker provides it to the mode routines (local and download).
#pragma once

#include <string>

#include "foundation/bram_result.h"

namespace BramPatch {

class PatchInstaller {
 public:
  virtual ~PatchInstaller() = default;
  // Unpacks and applies one archive; 0 on success. Posts its own messages.
  virtual BramResult InstallPatchArchive(const std::string& archivePath) = 0;
  // Hands the asset database to the product's utility for a rebuild.
  virtual void RebuildAssetDatabase() = 0;
};

}  // namespace BramPatch

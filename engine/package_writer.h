// Writing the self-contained package (docs/formats/package.md): the
// patcher's executable, padded to a multiple of 4096 bytes, then the header,
// the patch archives and the record table.
#pragma once

#include <string>
#include <vector>

#include "engine/package_format.h"

namespace BramPatch {

// One archive to carry. The writer fills in the record's archive offset and
// length.
struct PackageInput {
  PackageRecord m_record;
  std::string m_archivePath;
};

// Writes executable_path's image followed by a package of `inputs` (in that
// order) to output_path, with the executable's permissions. When the
// executable already carries a package, only the image before it is kept.
// Refuses, with *error naming the problem: a record text that does not fit
// its field, a checksum that is not 32 lowercase hexadecimal digits, two
// records for one source build, an input that is not a patch archive, no
// inputs, and a package of 4 GiB or more (its header stores a 32-bit size).
// On failure nothing is left at output_path.
bool WritePackage(const std::string& executable_path, const std::vector<PackageInput>& inputs,
                  const std::string& output_path, std::string* error);

}  // namespace BramPatch

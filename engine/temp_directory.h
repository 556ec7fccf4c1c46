// Unique working directories for unpacked patch archives.
#pragma once

#include <string>

namespace BramPatch {

// Creates a fresh directory and stores its path in *dir_setting. The base is
// *dir_setting itself when it is not empty, otherwise the temporary
// directory (TEMP, else TMPDIR, else /tmp); the new directory is
// MakeTempName(base), created with any missing parents. A name that already
// exists is never reused: the next counter value is tried instead. True when
// the directory now exists; false with *dir_setting emptied otherwise.
// Because *dir_setting keeps the path, a second call with the same variable
// creates its directory inside the first.
bool MakeUniqueTempDirectory(std::string* dir_setting);

// The temporary directory: TEMP, else TMPDIR, else "/tmp".
std::string TemporaryDirectory();

}  // namespace BramPatch

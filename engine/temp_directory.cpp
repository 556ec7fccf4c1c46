#include "engine/temp_directory.h"

#include <cstdlib>

#include "foundation/paths.h"

namespace BramPatch {

namespace {

// Names taken by other processes are skipped; this many in a row means
// something else is wrong.
constexpr int TEMP_DIRECTORY_ATTEMPTS = 100;

}  // namespace

std::string TemporaryDirectory() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "/tmp";
}

bool MakeUniqueTempDirectory(std::string* dir_setting) {
  const std::string base = dir_setting->empty() ? TemporaryDirectory() : *dir_setting;
  for (int attempt = 0; attempt < TEMP_DIRECTORY_ATTEMPTS; ++attempt) {
    std::string candidate = MakeTempName(base);
    if (FileExists(candidate)) continue;
    if (!MakeDirectory(candidate)) break;
    *dir_setting = candidate;
    return true;
  }
  dir_setting->clear();
  return false;
}

}  // namespace BramPatch

#include "foundation/database_block_names.h"

#include <cstring>

#include "foundation/paths.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Lower-cases ASCII letters; other bytes (UTF-8 sequences) stay as they are.
std::string LowerCase(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace

bool DatabaseBlockNamesFromPath(const std::string& database_path, DatabaseBlockNames* names) {
  const std::string lower = LowerCase(database_path);
  const std::size_t tail =
      std::strlen(DATABASE_BLOCK_FILE_NAME) + 1;  // the file name and its separator
  if (lower.size() < tail || !IsSeparator(lower[lower.size() - tail]) ||
      lower.compare(lower.size() - tail + 1, std::string::npos, DATABASE_BLOCK_FILE_NAME) != 0) {
    return false;
  }
  std::string folder = lower.substr(0, lower.size() - tail);
  std::size_t leading = 0;
  while (leading < folder.size() && IsSeparator(folder[leading])) ++leading;
  std::string mutex_name = std::string(DATABASE_BLOCK_MUTEX_PREFIX) + "/" + folder.substr(leading);
  for (char& c : mutex_name) {
    if (c == '\\') c = '/';
  }
  if (mutex_name.size() > DATABASE_BLOCK_NAME_LIMIT) return false;
  names->folder = database_path.substr(0, database_path.size() - tail);
  names->memory_name = mutex_name + "/" + DATABASE_BLOCK_MEMORY_SUFFIX;
  names->mutex_name = std::move(mutex_name);
  return true;
}

bool DeriveDatabaseBlockNames(const std::string& database_path, DatabaseBlockNames* names) {
  DatabaseBlockNames derived;
  if (!DatabaseBlockNamesFromPath(database_path, &derived)) return false;
  // The folder keeps its case: Linux file names are case-sensitive. A path
  // directly under the root has an empty folder, which is the root.
  if (!IsDirectory(derived.folder.empty() ? std::string("/") : derived.folder)) return false;
  *names = std::move(derived);
  return true;
}

std::string DatabaseBlockFileStem(const std::string& object_name) {
  using u128 = unsigned __int128;
  const u128 prime = (u128{1} << 88) + 0x13B;
  u128 hash = (u128{0x6c62272e07bb0142u} << 64) | 0x62b821756295c58du;
  for (unsigned char c : object_name) {
    hash ^= c;
    hash *= prime;
  }
  static const char digits[] = "0123456789abcdef";
  std::string stem = "kestro-";
  for (int shift = 124; shift >= 0; shift -= 4) {
    stem += digits[static_cast<unsigned>(hash >> shift) & 15];
  }
  return stem;
}

// The names of the asset database's ownership block, derived from the
// database path (docs/formats/ownership-block.md).
#pragma once

#include <cstddef>
#include <string>

constexpr char DATABASE_BLOCK_FILE_NAME[] = "assets.tdx";
constexpr char DATABASE_BLOCK_MUTEX_PREFIX[] = "09731AC6-B611-4e2a-B181-578073F64F24";
constexpr char DATABASE_BLOCK_MEMORY_SUFFIX[] = "-ipc2";
constexpr std::size_t DATABASE_BLOCK_NAME_LIMIT = 258;  // characters of the mutex name

struct DatabaseBlockNames {
  std::string folder;       // the database's folder as given (original case)
  std::string mutex_name;   // prefix '/' lower-cased folder, leading separators dropped, '\' -> '/'
  std::string memory_name;  // mutex_name '/' "-ipc2"
};

// The names from the text alone. False when the lower-cased path does not
// end with a separator and "assets.tdx", or the mutex name would pass
// DATABASE_BLOCK_NAME_LIMIT.
bool DatabaseBlockNamesFromPath(const std::string& database_path, DatabaseBlockNames* names);

// The same, and the folder must exist as a directory.
bool DeriveDatabaseBlockNames(const std::string& database_path, DatabaseBlockNames* names);

// The stem of the files that stand for a named object under the block
// directory: "kestro-" and the FNV-1a 128-bit hash of the name in hex, so
// that any name (any length, any characters) maps to one valid file name.
std::string DatabaseBlockFileStem(const std::string& object_name);

// The file-system calls of the path utilities. Paths are UTF-8 with '/'.
// Functions returning bool leave errno set when they fail.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace OS {

struct FileStatus {
  bool is_directory = false;
  bool is_symlink = false;      // only with follow_links == false
  bool owner_writable = false;  // the owner write bit
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // seconds since 1970-01-01 UTC
};

bool QueryStatus(const std::string& path, bool follow_links, FileStatus* status);
bool PathExists(const std::string& path);          // directories count
bool CreateOneDirectory(const std::string& path);  // parents must exist
bool RemoveFile(const std::string& path);          // not a directory
bool RemoveEmptyDirectory(const std::string& path);
bool SetOwnerWritable(const std::string& path);

// Opens the existing file for writing without creating, truncating or
// blocking, and closes it at once. Fails with ETXTBSY for a running
// executable, EISDIR for a directory.
bool ProbeWritable(const std::string& path);

// rename() that fails with EEXIST instead of replacing an existing target.
bool RenameNoReplace(const std::string& from, const std::string& to);

struct DirectoryEntry {
  std::string name;
  bool is_directory = false;  // a real directory, not a link to one
};

// Every entry but "." and "..", in no particular order.
bool ReadDirectory(const std::string& path, std::vector<DirectoryEntry>* entries);

// The canonical absolute path with every link resolved; fails for a missing
// path or a dangling link.
bool ResolveRealPath(const std::string& path, std::string* resolved);

}  // namespace OS

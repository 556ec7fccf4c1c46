// The file-system side of the registry hive file (docs/formats/registry-file.md):
// whole-file reads, atomic replacement, the lock file beside the hive and the
// question whether the effective user may change it. Paths are UTF-8 with
// '/'. Functions returning bool leave errno set when they fail; none throws.
#pragma once

#include <string>
#include <string_view>

namespace OS {

// An flock(2) on a lock file, held from a successful Acquire until Release
// or destruction. Locks of two RegistryFileLock objects exclude each other
// also within one process.
class RegistryFileLock {
 public:
  RegistryFileLock() = default;
  ~RegistryFileLock() { Release(); }
  RegistryFileLock(const RegistryFileLock&) = delete;
  RegistryFileLock& operator=(const RegistryFileLock&) = delete;

  // Opens `path`, creating it (mode 0644 less umask) when it is missing and
  // its directory allows, and waits without limit for a shared or an
  // exclusive lock. An existing lock file that may only be read still serves
  // for either kind. False with errno when the file can neither be opened nor
  // created; the object then holds nothing.
  bool Acquire(const std::string& path, bool exclusive);
  void Release();

 private:
  int m_fd = -1;
};

// Reads the whole file into *content (cleared first). False with errno:
// ENOENT for a missing file, EISDIR for a directory.
bool ReadRegistryFile(const std::string& path, std::string* content);

// Replaces `path` by a file holding exactly `content`: writes a new
// temporary file "<path>.XXXXXX" in the same directory, gives it the mode
// and (when allowed) the owner of the file it replaces, or `new_mode` less
// umask when there is none, makes it durable and renames it over `path`.
// Readers see either the old or the complete new file, never a mix. On
// failure the temporary file is removed and `path` is unchanged.
// REQUIRES: the directory of `path` exists.
bool ReplaceRegistryFile(const std::string& path, std::string_view content, unsigned new_mode);

// Whether the effective user may replace `path` in the way above (checked
// with the effective ids, as open() would, so root passes except on a
// read-only file system): the file, when it exists, must be writable and its
// directory writable and searchable; for a missing file the nearest existing
// directory on the way to it must be writable and searchable, since the
// missing directories and the file are created there.
bool MayReplaceRegistryFile(const std::string& path);

}  // namespace OS

#include "platform/replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool SyncPath(const std::string& path, int flags) {
  int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  int saved = errno;
  close(fd);
  errno = saved;
  return ok;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& from, const std::string& to) {
  std::string source = NativePath(from);
  std::string target = NativePath(to);
  if (!SyncPath(source, O_RDONLY)) return false;
  if (rename(source.c_str(), target.c_str()) != 0) return false;
  // The rename is done; making the directory entry durable is best effort.
  size_t slash = target.rfind('/');
  std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  SyncPath(directory, O_RDONLY | O_DIRECTORY);
  return true;
}

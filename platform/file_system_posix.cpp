#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace OS {

bool QueryStatus(const std::string& path, bool follow_links, FileStatus* status) {
  struct stat st;
  if ((follow_links ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) return false;
  status->is_directory = S_ISDIR(st.st_mode);
  status->is_symlink = S_ISLNK(st.st_mode);
  status->owner_writable = (st.st_mode & S_IWUSR) != 0;
  status->size = static_cast<std::uint64_t>(st.st_size);
  status->modified = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  return true;
}

bool PathExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool CreateOneDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RemoveEmptyDirectory(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool SetOwnerWritable(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  return chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool ProbeWritable(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without RENAME_NOREPLACE: link() never replaces either.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  if (unlink(from.c_str()) != 0) {
    const int saved = errno;
    unlink(to.c_str());
    errno = saved;
    return false;
  }
  return true;
}

bool ReadDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool is_directory = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st;
      is_directory =
          fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    entries->push_back({name, is_directory});
    errno = 0;
  }
  const int read_error = errno;
  closedir(dir);
  errno = read_error;
  return read_error == 0;
}

bool ResolveRealPath(const std::string& path, std::string* resolved) {
  char* result = realpath(path.c_str(), nullptr);
  if (result == nullptr) return false;
  *resolved = result;
  std::free(result);
  return true;
}

}  // namespace OS

#include "platform/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/replace_file.h"

namespace OS {

namespace {

// The directory part of `path` ("." when it has none, "/" for "/x").
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool MayWriteDirectory(const std::string& directory) {
  return faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool WriteAll(int fd, std::string_view content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Creates a fresh temporary file beside `path` and returns its descriptor,
// or -1 with errno.
int CreateTemporaryBeside(const std::string& path, unsigned mode, std::string* temporary) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = path + "." + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
    const int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool RegistryFileLock::Acquire(const std::string& path, bool exclusive) {
  Release();
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  int result;
  do {
    result = flock(fd, exclusive ? LOCK_EX : LOCK_SH);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const int saved = errno;
    close(fd);
    errno = saved;
    return false;
  }
  m_fd = fd;
  return true;
}

void RegistryFileLock::Release() {
  if (m_fd < 0) return;
  close(m_fd);  // closing the last descriptor drops the lock
  m_fd = -1;
}

bool ReadRegistryFile(const std::string& path, std::string* content) {
  content->clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  int failure = 0;
  if (fstat(fd, &st) != 0) {
    failure = errno;
  } else if (S_ISDIR(st.st_mode)) {
    failure = EISDIR;
  }
  if (failure != 0) {
    close(fd);
    errno = failure;
    return false;
  }
  char chunk[16384];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int saved = errno;
      close(fd);
      errno = saved;
      return false;
    }
    if (n == 0) break;
    content->append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  return true;
}

bool ReplaceRegistryFile(const std::string& path, std::string_view content, unsigned new_mode) {
  struct stat old;
  const bool replacing = stat(path.c_str(), &old) == 0;
  std::string temporary;
  const int fd = CreateTemporaryBeside(path, replacing ? 0600 : new_mode, &temporary);
  if (fd < 0) return false;
  bool ok = true;
  if (replacing) {
    // Keep the owner when we may (root rewriting a user's file); an ordinary
    // user cannot give a file away, and the new file is then that user's.
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
      if (fchown(fd, old.st_uid, old.st_gid) != 0) errno = 0;
    }
    ok = fchmod(fd, old.st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd, content);
  int saved = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok) {
    ok = ReplaceFileAtomically(temporary, path);
    saved = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    errno = saved;
  }
  return ok;
}

bool MayReplaceRegistryFile(const std::string& path) {
  if (faccessat(AT_FDCWD, path.c_str(), F_OK, AT_EACCESS) == 0) {
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 &&
           MayWriteDirectory(DirectoryOf(path));
  }
  if (errno != ENOENT) return false;
  // Missing: find the directory where creation would start.
  std::string directory = DirectoryOf(path);
  while (faccessat(AT_FDCWD, directory.c_str(), F_OK, AT_EACCESS) != 0) {
    if (errno != ENOENT || directory == "/" || directory == ".") return false;
    directory = DirectoryOf(directory);
  }
  return MayWriteDirectory(directory);
}

}  // namespace OS

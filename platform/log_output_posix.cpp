#include "platform/log_output.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace OS {

int OpenOwnedFifoForWriting(const std::string& path) {
  // Check before opening, so that opening never touches a device or a file
  // of someone else; compare the identity afterwards against a swap.
  struct stat before;
  if (lstat(path.c_str(), &before) != 0) return -1;
  if (!S_ISFIFO(before.st_mode) || before.st_uid != geteuid()) return -1;
  // Without a reader this fails with ENXIO instead of waiting for one.
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat after;
  if (fstat(fd, &after) != 0 || !S_ISFIFO(after.st_mode) || after.st_dev != before.st_dev ||
      after.st_ino != before.st_ino || after.st_uid != geteuid()) {
    close(fd);
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool InstallAsStandardOutput(int fd) {
  if (fd == STDOUT_FILENO) return fcntl(fd, F_SETFD, 0) == 0;
  const bool installed = dup2(fd, STDOUT_FILENO) == STDOUT_FILENO;
  close(fd);
  return installed;
}

void DetachStandardOutput() {
  const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd < 0) return;  // keep fd 1 rather than leave its number free for reuse
  dup2(null_fd, STDOUT_FILENO);
  close(null_fd);
}

void WriteStandardOutput(const char* data, std::size_t size) {
  sigset_t pipe_only, previous, pending;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_only, &previous);
  sigemptyset(&pending);
  sigpending(&pending);
  const bool already_pending = sigismember(&pending, SIGPIPE) == 1;

  bool broken = false;
  while (size > 0) {
    const ssize_t written = write(STDOUT_FILENO, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      broken = errno == EPIPE;
      break;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  if (broken && !already_pending) {
    const timespec no_wait{0, 0};
    while (sigtimedwait(&pipe_only, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void WriteDebugChannel(std::string_view text) {
  syslog(LOG_USER | LOG_DEBUG, "%.*s", static_cast<int>(text.size()), text.data());
}

}  // namespace OS

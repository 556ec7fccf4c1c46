#include "platform/child_spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

extern char** environ;

namespace OS {

namespace {

// Moves a close-on-exec descriptor above the standard ones, so that the
// child's dup2 onto 1 and 2 never meets the pipe's own numbers.
int AboveStandard(int fd) {
  if (fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int saved = errno;
  close(fd);
  errno = saved;
  return moved;
}

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// One non-blocking look: EXITED / GONE when decided, RUNNING otherwise.
ChildState PollChild(int pid, int* exit_code) {
  int status = 0;
  for (;;) {
    const pid_t result = waitpid(pid, &status, WNOHANG);
    if (result == pid) {
      *exit_code = DecodeStatus(status);
      return ChildState::EXITED;
    }
    if (result == 0) return ChildState::RUNNING;
    if (errno == EINTR) continue;
    *exit_code = -1;
    return ChildState::GONE;
  }
}

std::uint64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace

bool SpawnWithJoinedOutput(const std::vector<std::string>& argv, SpawnedChild* child,
                           const std::string& directory) {
  if (argv.empty() || argv[0].empty()) {
    errno = ENOENT;
    return false;
  }
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  ends[0] = AboveStandard(ends[0]);
  ends[1] = AboveStandard(ends[1]);
  if (ends[0] < 0 || ends[1] < 0) {
    const int saved = errno;
    if (ends[0] >= 0) close(ends[0]);
    if (ends[1] >= 0) close(ends[1]);
    errno = saved;
    return false;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDERR_FILENO);
  // Descriptors that other code opened without close-on-exec stay ours too.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  pid_t pid = -1;
  const bool search = argv[0].find('/') == std::string::npos;
  const int error = search
                        ? posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ)
                        : posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);  // the child holds the only write ends now
  if (error != 0) {
    close(ends[0]);
    errno = error;
    return false;
  }
  child->pid = pid;
  child->output = ends[0];
  return true;
}

long ReadDescriptor(int fd, void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = read(fd, buffer, size);
    if (got >= 0 || errno != EINTR) return static_cast<long>(got);
  }
}

void CloseDescriptor(int fd) {
  if (fd >= 0) close(fd);
}

ChildState WaitForChild(int pid, std::uint32_t milliseconds, int* exit_code) {
  if (milliseconds == OS_WAIT_INFINITE) {
    int status = 0;
    for (;;) {
      if (waitpid(pid, &status, 0) == pid) {
        *exit_code = DecodeStatus(status);
        return ChildState::EXITED;
      }
      if (errno != EINTR) {
        *exit_code = -1;
        return ChildState::GONE;
      }
    }
  }

  ChildState state = PollChild(pid, exit_code);
  if (state != ChildState::RUNNING || milliseconds == 0) return state;

  // A pidfd becomes readable when the child exits; without one (old kernel,
  // filtered system call) look again at short intervals.
  // (glibc 2.36 declares pidfd_open without C linkage: use the system call.)
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  const std::uint64_t deadline = NowMs() + milliseconds;
  std::uint64_t nap_ms = 1;
  for (;;) {
    const std::uint64_t now = NowMs();
    if (now >= deadline) break;
    const std::uint64_t remaining = deadline - now;
    if (pidfd >= 0) {
      pollfd entry{pidfd, POLLIN, 0};
      poll(&entry, 1, static_cast<int>(std::min<std::uint64_t>(remaining, INT_MAX)));
    } else {
      const std::uint64_t nap = std::min(remaining, nap_ms);
      const timespec pause{static_cast<time_t>(nap / 1000),
                           static_cast<long>(nap % 1000) * 1000000};
      nanosleep(&pause, nullptr);
      nap_ms = std::min<std::uint64_t>(nap_ms * 2, 20);
    }
    state = PollChild(pid, exit_code);
    if (state != ChildState::RUNNING) break;
  }
  if (pidfd >= 0) close(pidfd);
  if (state == ChildState::RUNNING) state = PollChild(pid, exit_code);
  return state;
}

void KillProcess(int pid) {
  if (pid > 0) kill(pid, SIGKILL);
}

}  // namespace OS

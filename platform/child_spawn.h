// Starting child processes with their output captured, reading that output,
// waiting for and ending them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace OS {

struct SpawnedChild {
  int pid = -1;
  int output = -1;  // read end of the pipe that holds the child's fd 1 and fd 2
};

// Starts argv[0] (searched in PATH when it holds no '/') with `argv`, our
// environment and standard input, in `directory` (our working directory when
// empty; a relative argv[0] with '/' is then found from there). Its standard
// output and standard error are one pipe whose read end (close-on-exec) comes
// back in *child; every other descriptor is closed in the child, and its
// signal mask and dispositions start at the defaults. False with errno set
// when it cannot start (a directory that cannot be entered included);
// nothing stays open then.
bool SpawnWithJoinedOutput(const std::vector<std::string>& argv, SpawnedChild* child,
                           const std::string& directory = std::string());

// read() that retries on EINTR; -1 with errno on failure, 0 at end of data.
long ReadDescriptor(int fd, void* buffer, std::size_t size);

void CloseDescriptor(int fd);

enum class ChildState { RUNNING, EXITED, GONE };

constexpr std::uint32_t OS_WAIT_INFINITE = 0xFFFFFFFF;

// Waits up to `milliseconds` (OS_WAIT_INFINITE: without limit) for our child
// `pid` to exit and reaps it. EXITED sets *exit_code to the exit status, or
// 128 + the signal number; GONE means it is no child of ours any more
// (someone else reaped it).
ChildState WaitForChild(int pid, std::uint32_t milliseconds, int* exit_code);

// SIGKILL. REQUIRES: `pid` is an unreaped child of ours.
void KillProcess(int pid);

}  // namespace OS

// Child processes with their standard output and standard error joined into
// one pipe. Calling order: StartChildProcess; ReadChildOutput (and
// ReadChildErrors) until false; WaitChild; CloseChild; delete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

constexpr std::uint32_t CHILD_WAIT_INFINITE = 0xFFFFFFFF;

// One started child. Owned by the caller, used by one thread at a time.
// Deleting it closes what CloseChild has not closed yet and reaps the child
// when it has exited; a child still running then is reaped later in the
// background of other child-process calls (no zombie stays behind once it
// exits). Deleting does not kill it: call KillChild first for that.
struct ChildProcess {
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  int m_pid = -1;
  int m_output = -1;  // our read end of the output pipe; -1 once closed
  int m_status = -1;  // exit status (see ChildExitCode) once reaped
  bool m_reaped = false;
  std::unique_ptr<char[]> m_buffer;  // 8192 bytes plus a terminator, from the first read
};

// Runs the command line "\"<executable>\" <arguments>", split into argv by
// the Windows rules. An executable without '/' is searched in PATH. Standard
// input and the working directory are ours, standard output and standard
// error go into one pipe, and no other descriptor of this process reaches
// the child. Null when it cannot start (nothing is left open then).
ChildProcess* StartChildProcess(const std::string& executable, const std::string& arguments);

// StartChildProcess with `directory` as the child's working directory. A
// relative executable path (one with '/') is taken from that directory. Null
// also when the directory cannot be entered.
ChildProcess* StartChildProcessIn(const std::string& directory, const std::string& executable,
                                  const std::string& arguments);

// Blocks for the next chunk (at most 8192 bytes) and appends it to `text` up
// to its first NUL. False at the end of the output (every writer closed) or
// on a read error; `text` is unchanged then.
bool ReadChildOutput(ChildProcess* child, std::string& text);

// There is no separate error stream: always false.
bool ReadChildErrors(ChildProcess* child, std::string& text);

// True when the child has exited (it is reaped then), false on time-out.
// CHILD_WAIT_INFINITE waits without limit. A child that another part of the
// process reaped behind our back counts as exited, with exit code -1.
bool WaitChild(ChildProcess* child, std::uint32_t milliseconds);

// After a successful WaitChild: the exit status, or 128 + the signal number
// for a child ended by a signal; -1 before (or when unknown).
int ChildExitCode(const ChildProcess* child);

// Ends the child at once (SIGKILL); nothing happens once it is reaped.
void KillChild(ChildProcess* child);

// Closes the output pipe and frees the read buffer; reaps the child without
// blocking when it has already exited. WaitChild, ChildExitCode and
// KillChild stay usable afterwards.
void CloseChild(ChildProcess* child);

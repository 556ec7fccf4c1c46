#include "foundation/child_process.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/child_spawn.h"
#include "platform/windows_command_line.h"

namespace {

constexpr std::size_t CHILD_READ_CHUNK = 8192;

// Children whose record was deleted while they still ran. They are reaped,
// without blocking, by later child-process calls of any thread.
std::mutex& AbandonedLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::vector<int>& Abandoned() {
  static std::vector<int>* pids = new std::vector<int>;
  return *pids;
}

void ReapAbandoned() {
  std::lock_guard<std::mutex> guard(AbandonedLock());
  std::vector<int>& pids = Abandoned();
  for (std::size_t i = 0; i < pids.size();) {
    int ignored;
    if (OS::WaitForChild(pids[i], 0, &ignored) == OS::ChildState::RUNNING) {
      ++i;
    } else {
      pids[i] = pids.back();
      pids.pop_back();
    }
  }
}

void NoteFinished(ChildProcess* child, OS::ChildState state, int code) {
  if (state == OS::ChildState::RUNNING) return;
  child->m_reaped = true;
  child->m_status = state == OS::ChildState::EXITED ? code : -1;
}

}  // namespace

ChildProcess::~ChildProcess() {
  CloseChild(this);
  if (m_pid > 0 && !m_reaped) {
    std::lock_guard<std::mutex> guard(AbandonedLock());
    Abandoned().push_back(m_pid);
  }
}

ChildProcess* StartChildProcess(const std::string& executable, const std::string& arguments) {
  return StartChildProcessIn(std::string(), executable, arguments);
}

ChildProcess* StartChildProcessIn(const std::string& directory, const std::string& executable,
                                  const std::string& arguments) {
  ReapAbandoned();
  const std::string command_line = "\"" + executable + "\" " + arguments;
  OS::SpawnedChild spawned;
  if (!OS::SpawnWithJoinedOutput(SplitWindowsCommandLine(command_line), &spawned, directory)) {
    return nullptr;
  }
  auto* child = new ChildProcess;
  child->m_pid = spawned.pid;
  child->m_output = spawned.output;
  return child;
}

bool ReadChildOutput(ChildProcess* child, std::string& text) {
  if (child == nullptr || child->m_output < 0) return false;
  if (!child->m_buffer) child->m_buffer = std::make_unique<char[]>(CHILD_READ_CHUNK + 1);
  char* buffer = child->m_buffer.get();
  const long got = OS::ReadDescriptor(child->m_output, buffer, CHILD_READ_CHUNK);
  if (got <= 0) return false;
  buffer[got] = '\0';
  text.append(buffer, std::strlen(buffer));  // the chunk is text: a NUL ends it
  return true;
}

bool ReadChildErrors(ChildProcess*, std::string&) { return false; }

bool WaitChild(ChildProcess* child, std::uint32_t milliseconds) {
  if (child == nullptr) return false;
  if (child->m_reaped) return true;
  int code = -1;
  const OS::ChildState state = OS::WaitForChild(
      child->m_pid, milliseconds == CHILD_WAIT_INFINITE ? OS::OS_WAIT_INFINITE : milliseconds,
      &code);
  NoteFinished(child, state, code);
  return child->m_reaped;
}

int ChildExitCode(const ChildProcess* child) {
  return child != nullptr && child->m_reaped ? child->m_status : -1;
}

void KillChild(ChildProcess* child) {
  if (child != nullptr && child->m_pid > 0 && !child->m_reaped) OS::KillProcess(child->m_pid);
}

void CloseChild(ChildProcess* child) {
  if (child == nullptr) return;
  OS::CloseDescriptor(child->m_output);
  child->m_output = -1;
  child->m_buffer.reset();
  if (child->m_pid > 0 && !child->m_reaped) {
    int code = -1;
    NoteFinished(child, OS::WaitForChild(child->m_pid, 0, &code), code);
  }
  ReapAbandoned();
}

#include "foundation/os_thread.h"

#include "foundation/assert_condition.h"
#include "foundation/log.h"
#include "foundation/os_exception.h"

namespace OS {
namespace {

std::int32_t RunThreadObject(void* parameter) { return static_cast<Thread*>(parameter)->Run(); }

}  // namespace

Thread::Thread() : m_threadhandle(INVALID_HANDLE_VALUE) {}

Thread::~Thread() {
  if (m_threadhandle == INVALID_HANDLE_VALUE) return;
  try {
    Retire();
  } catch (const OSException&) {
    LogPrintf("OS::Thread> failed to close the thread handle");
  }
}

std::int32_t Thread::Run() { return 0; }

void Thread::Retire() {
  if (m_threadhandle == INVALID_HANDLE_VALUE) return;
  AssertCondition(WaitObject(m_threadhandle, 0) == WAIT_OBJECT_0,
                  "WaitForSingleObject(m_threadhandle, 0) == WAIT_OBJECT_0");
  const Handle old = m_threadhandle;
  m_threadhandle = INVALID_HANDLE_VALUE;
  CloseObject(old);
}

bool Thread::Start(ThreadFunction function, void* parameter) {
  Retire();
  m_threadhandle = StartThread(0, function, parameter);
  return m_threadhandle != INVALID_HANDLE_VALUE;
}

bool Thread::Start() { return Start(RunThreadObject, this); }

std::int32_t Thread::Wait() {
  if (m_threadhandle == INVALID_HANDLE_VALUE) return 0;
  WaitObject(m_threadhandle, INFINITE);
  std::int32_t exit_code = STILL_ACTIVE;
  ReadThreadExitCode(m_threadhandle, &exit_code);
  return exit_code;
}

}  // namespace OS

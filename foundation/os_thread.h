// A thread object driven from one owner thread: Start, Wait, Start again.
#pragma once

#include <cstdint>

#include "foundation/os_handles.h"

namespace OS {

class Thread {
 public:
  Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // REQUIRES: no thread, or the previous thread has ended (Wait() returned):
  // a thread that still runs trips the assertion
  // "WaitForSingleObject(m_threadhandle, 0) == WAIT_OBJECT_0".
  virtual ~Thread();

  // The body for Start(); the base returns 0.
  virtual std::int32_t Run();

  // Retire the previous thread (see the destructor), then start
  // function(parameter). True when a thread runs; throws OSException when
  // none could be started.
  bool Start(ThreadFunction function, void* parameter);
  // The same with Run() as the body.
  bool Start();

  // 0 at once when never started; otherwise waits for the thread to end and
  // returns its exit code (STILL_ACTIVE when it cannot be read). The handle
  // stays open until the next Start or the destructor.
  std::int32_t Wait();

  Handle GetHandle() const { return m_threadhandle; }

 private:
  void Retire();

  Handle m_threadhandle;
};

}  // namespace OS

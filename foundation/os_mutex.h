// An unnamed mutex of this process and its scoped lock.
#pragma once

#include "foundation/os_handles.h"

namespace OS {

class Mutex {
 public:
  // Throws OSException "Failed to create the mutex".
  Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  // A failure to close is logged as "OS::Mutex> Failed to close the mutex
  // handle"; destructors do not throw.
  virtual ~Mutex();

  // Waits without time-out; re-entrant; an abandoned mutex counts as
  // acquired.
  void Acquire();
  // Throws OSException "Failed to release the mutex" when the calling thread
  // does not hold it.
  void Release();

 private:
  Handle m_mutexhandle;
};

class MutexLock {
 public:
  explicit MutexLock(Mutex& mutex);
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;
  // REQUIRES: destroyed on the thread that constructed it (a release that
  // fails ends the process through std::terminate).
  virtual ~MutexLock();

 private:
  Mutex& m_mutex;
};

}  // namespace OS

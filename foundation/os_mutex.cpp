#include "foundation/os_mutex.h"

#include "foundation/log.h"
#include "foundation/os_exception.h"

namespace OS {

Mutex::Mutex() : m_mutexhandle(NULL_HANDLE) {
  try {
    m_mutexhandle = MakeMutex(false);
  } catch (const OSException&) {
    throw OSException("Failed to create the mutex");
  }
}

Mutex::~Mutex() {
  try {
    CloseObject(m_mutexhandle);
  } catch (const OSException&) {
    LogPrintf("OS::Mutex> Failed to close the mutex handle");
  }
}

void Mutex::Acquire() { WaitObject(m_mutexhandle, INFINITE); }

void Mutex::Release() {
  if (!UnlockMutex(m_mutexhandle)) throw OSException("Failed to release the mutex");
}

MutexLock::MutexLock(Mutex& mutex) : m_mutex(mutex) { m_mutex.Acquire(); }

MutexLock::~MutexLock() { m_mutex.Release(); }

}  // namespace OS

#include "foundation/os_critical_section.h"

#include <pthread.h>

namespace OS {

void CriticalSection::Enter() { m_mutex.lock(); }

bool CriticalSection::TryEnter() { return m_mutex.try_lock(); }

// std::recursive_mutex is a recursive pthread mutex, whose unlock checks the
// owner (EPERM) where std::recursive_mutex::unlock would be undefined.
bool CriticalSection::Leave() { return pthread_mutex_unlock(m_mutex.native_handle()) == 0; }

}  // namespace OS

CriticalSectionLock::CriticalSectionLock(OS::CriticalSection& section) : m_section(section) {
  m_section.Enter();
}

CriticalSectionLock::~CriticalSectionLock() { m_section.Leave(); }

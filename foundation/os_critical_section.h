// The re-entrant in-process lock ("critical section") and its scoped guard.
// No time-out and no error reporting, except that leaving a section the
// calling thread does not hold is refused instead of corrupting it.
#pragma once

#include <mutex>

namespace OS {

class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  // Blocks until the calling thread holds the section; re-entrant.
  void Enter();
  bool TryEnter();
  // Leaves one level; false (nothing changed) when the caller does not hold it.
  bool Leave();

 private:
  std::recursive_mutex m_mutex;
};

}  // namespace OS

class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(OS::CriticalSection& section);
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
  ~CriticalSectionLock();

 private:
  OS::CriticalSection& m_section;
};

// The engine kernel's waitable objects and their scoped lock. They report
// nothing: every operation returns the system's result or a fixed boolean.
#pragma once

#include <cstdint>

#include "foundation/os_handles.h"

namespace OS {
class CriticalSection;
}

namespace Qix {

// Owns one kernel handle (NULL_HANDLE when none) and closes it.
class SyncObject {
 public:
  SyncObject();
  explicit SyncObject(OS::Handle handle);
  SyncObject(const SyncObject&) = delete;
  SyncObject& operator=(const SyncObject&) = delete;
  virtual ~SyncObject();

  virtual OS::Handle GetHandle() const;
  // True when the object was signalled within ms (OS::INFINITE: no limit);
  // false on time-out, on an abandoned mutex and without a handle.
  virtual bool Lock(std::uint32_t ms);
  // Shared locking: none of these objects offers it; always false.
  virtual bool TryLockShared();
  // False: a plain handle has nothing to unlock.
  virtual bool Unlock();

 protected:
  OS::Handle m_handle;
};

class WEvent : public SyncObject {
 public:
  // A null name makes an unnamed event (see OS::MakeEvent for names). When
  // the event cannot be made the object has no handle.
  WEvent(bool manual_reset, bool initially_signalled, const char* name = nullptr);

  // Unlocking an event does nothing; true.
  bool Unlock() override;

  // The system results of raising, pulsing and lowering the event.
  bool Set();
  bool Pulse();
  bool Reset();
};

// A re-entrant critical section; Lock never times out.
class CriticalSection : public SyncObject {
 public:
  CriticalSection();
  ~CriticalSection() override;

  OS::Handle GetHandle() const override;  // always NULL_HANDLE
  bool Lock(std::uint32_t ms) override;   // enters; ms is ignored; true
  // Leaves; false when the calling thread does not hold the section.
  bool Unlock() override;

 private:
  OS::CriticalSection* m_section;
};

}  // namespace Qix

// Holds a Qix object locked for its lifetime.
class SyncLock {
 public:
  explicit SyncLock(Qix::SyncObject& object, bool lock_now = true);
  SyncLock(const SyncLock&) = delete;
  SyncLock& operator=(const SyncLock&) = delete;
  ~SyncLock();

  // Lock(INFINITE); the result becomes the locked flag.
  bool Lock();
  // Unlock when the flag is set; the flag stays set exactly when Unlock
  // returned false.
  void Unlock();
  bool IsLocked() const { return m_locked; }

 private:
  Qix::SyncObject& m_object;
  bool m_locked;
};

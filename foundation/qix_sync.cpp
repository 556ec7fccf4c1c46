#include "foundation/qix_sync.h"

#include "foundation/os_critical_section.h"
#include "foundation/os_exception.h"

namespace Qix {

SyncObject::SyncObject() : m_handle(OS::NULL_HANDLE) {}

SyncObject::SyncObject(OS::Handle handle) : m_handle(handle) {}

SyncObject::~SyncObject() {
  if (m_handle == OS::NULL_HANDLE) return;
  try {
    OS::CloseObject(m_handle);
  } catch (const OSException&) {
  }
}

OS::Handle SyncObject::GetHandle() const { return m_handle; }

bool SyncObject::Lock(std::uint32_t ms) {
  try {
    return OS::WaitObject(m_handle, ms) == OS::WAIT_OBJECT_0;
  } catch (const OSException&) {
    return false;
  }
}

bool SyncObject::TryLockShared() { return false; }

bool SyncObject::Unlock() { return false; }

namespace {

OS::Handle MakeEventOrNull(bool manual_reset, bool initially_signalled, const char* name) {
  try {
    return OS::MakeEvent(manual_reset, initially_signalled, name);
  } catch (const OSException&) {
    return OS::NULL_HANDLE;
  }
}

template <typename Operation>
bool Report(Operation operation) {
  try {
    return operation();
  } catch (const OSException&) {
    return false;
  }
}

}  // namespace

WEvent::WEvent(bool manual_reset, bool initially_signalled, const char* name)
    : SyncObject(MakeEventOrNull(manual_reset, initially_signalled, name)) {}

bool WEvent::Unlock() { return true; }

bool WEvent::Set() {
  return Report([&] { return OS::RaiseEvent(m_handle); });
}

bool WEvent::Pulse() {
  return Report([&] { return OS::PulseEvent(m_handle); });
}

bool WEvent::Reset() {
  return Report([&] { return OS::LowerEvent(m_handle); });
}

CriticalSection::CriticalSection() : m_section(new OS::CriticalSection) {}

CriticalSection::~CriticalSection() { delete m_section; }

OS::Handle CriticalSection::GetHandle() const { return OS::NULL_HANDLE; }

bool CriticalSection::Lock(std::uint32_t) {
  m_section->Enter();
  return true;
}

bool CriticalSection::Unlock() { return m_section->Leave(); }

}  // namespace Qix

SyncLock::SyncLock(Qix::SyncObject& object, bool lock_now) : m_object(object), m_locked(false) {
  if (lock_now) Lock();
}

SyncLock::~SyncLock() { Unlock(); }

bool SyncLock::Lock() {
  m_locked = m_object.Lock(OS::INFINITE);
  return m_locked;
}

void SyncLock::Unlock() {
  if (m_locked) m_locked = !m_object.Unlock();
}

// Events: see OS::MakeEvent for the semantics.
#include "foundation/os_kernel_objects.h"

namespace OS {

EventObject::EventObject(bool manual_reset, bool initially_signalled)
    : m_manualreset(manual_reset), m_signalled(initially_signalled) {}

std::uint32_t EventObject::Wait(std::uint32_t ms) {
  std::unique_lock<std::mutex> lock(m_lock);
  if (m_signalled) {
    if (!m_manualreset) m_signalled = false;
    return WAIT_OBJECT_0;
  }
  if (ms == 0) return WAIT_TIMEOUT;
  Waiter me;
  m_waiters.push_back(&me);
  WaitFor(m_changed, lock, ms, [&] { return me.released; });
  if (me.released) return WAIT_OBJECT_0;
  m_waiters.remove(&me);
  return WAIT_TIMEOUT;
}

bool EventObject::ReleaseOne() {
  if (m_waiters.empty()) return false;
  m_waiters.front()->released = true;
  m_waiters.pop_front();
  return true;
}

void EventObject::ReleaseAll() {
  for (Waiter* waiter : m_waiters) waiter->released = true;
  m_waiters.clear();
}

void EventObject::Raise() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_manualreset) {
    m_signalled = true;
    ReleaseAll();
  } else if (!ReleaseOne()) {
    m_signalled = true;
  }
  m_changed.notify_all();
}

void EventObject::Lower() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_signalled = false;
}

void EventObject::Pulse() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_manualreset) {
    ReleaseAll();
  } else {
    ReleaseOne();
  }
  m_signalled = false;
  m_changed.notify_all();
}

std::size_t EventObject::WaiterCount() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_waiters.size();
}

}  // namespace OS

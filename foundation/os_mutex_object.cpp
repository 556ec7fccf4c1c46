// Mutexes: re-entrant, owned by a thread, abandoned when the owner ends.
#include <algorithm>
#include <vector>

#include "foundation/os_kernel_objects.h"

namespace OS {

// One per thread that ever took a mutex; its destruction at thread exit
// abandons the mutexes the thread still holds.
struct ThreadRecord {
  ~ThreadRecord() {
    for (const std::weak_ptr<MutexObject>& held : held_mutexes) {
      if (std::shared_ptr<MutexObject> mutex = held.lock()) mutex->Abandon(this);
    }
  }
  std::vector<std::weak_ptr<MutexObject>> held_mutexes;  // only this thread touches it
};

namespace {

ThreadRecord* CurrentThreadRecord() {
  thread_local ThreadRecord record;
  return &record;
}

void Forget(ThreadRecord* record, const MutexObject* mutex) {
  auto& held = record->held_mutexes;
  held.erase(std::remove_if(held.begin(), held.end(),
                            [&](const std::weak_ptr<MutexObject>& entry) {
                              auto locked = entry.lock();
                              return !locked || locked.get() == mutex;
                            }),
             held.end());
}

}  // namespace

std::uint32_t MutexObject::TakeLocked(ThreadRecord* me) {
  m_owner = me;
  m_count = 1;
  me->held_mutexes.push_back(weak_from_this());
  const bool abandoned = m_abandoned;
  m_abandoned = false;
  return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

std::uint32_t MutexObject::Wait(std::uint32_t ms) {
  ThreadRecord* me = CurrentThreadRecord();
  std::unique_lock<std::mutex> lock(m_lock);
  if (m_owner == me) {
    ++m_count;
    return WAIT_OBJECT_0;
  }
  if (!WaitFor(m_freed, lock, ms, [&] { return m_owner == nullptr; })) return WAIT_TIMEOUT;
  return TakeLocked(me);
}

bool MutexObject::Unlock() {
  ThreadRecord* me = CurrentThreadRecord();
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_owner != me) return false;
  if (--m_count == 0) {
    m_owner = nullptr;
    Forget(me, this);
    m_freed.notify_one();
  }
  return true;
}

void MutexObject::Abandon(const ThreadRecord* owner) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_owner != owner) return;
  m_owner = nullptr;
  m_count = 0;
  m_abandoned = true;
  m_freed.notify_one();
}

}  // namespace OS

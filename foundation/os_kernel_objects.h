// Internal to the OS layer: the objects behind OS::Handle values and the
// handle table. Only os_handles.cpp and the object implementations include
// this header.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/os_handles.h"

namespace OS {

class KernelObject {
 public:
  virtual ~KernelObject();

  // Waits as WaitObject does; returns WAIT_OBJECT_0, WAIT_ABANDONED or
  // WAIT_TIMEOUT.
  virtual std::uint32_t Wait(std::uint32_t ms) = 0;
};

class EventObject : public KernelObject {
 public:
  EventObject(bool manual_reset, bool initially_signalled);
  std::uint32_t Wait(std::uint32_t ms) override;
  void Raise();
  void Lower();
  void Pulse();
  // The threads blocked in Wait right now.
  std::size_t WaiterCount();

 private:
  struct Waiter {
    bool released = false;
  };
  // REQUIRES: m_lock held. Releases the oldest waiter; false when none.
  bool ReleaseOne();
  void ReleaseAll();

  std::mutex m_lock;
  std::condition_variable m_changed;
  const bool m_manualreset;
  bool m_signalled;              // guarded by m_lock
  std::list<Waiter*> m_waiters;  // guarded by m_lock; oldest first
};

struct ThreadRecord;

class MutexObject : public KernelObject, public std::enable_shared_from_this<MutexObject> {
 public:
  std::uint32_t Wait(std::uint32_t ms) override;
  // False when the calling thread does not own the mutex.
  bool Unlock();
  // Called when the owner thread ends while holding the mutex.
  void Abandon(const ThreadRecord* owner);

 private:
  // REQUIRES: m_lock held and the mutex free.
  std::uint32_t TakeLocked(ThreadRecord* me);

  std::mutex m_lock;
  std::condition_variable m_freed;
  ThreadRecord* m_owner = nullptr;  // guarded by m_lock
  std::uint32_t m_count = 0;        // recursion depth, guarded by m_lock
  bool m_abandoned = false;         // guarded by m_lock
};

class ThreadObject : public KernelObject {
 public:
  std::uint32_t Wait(std::uint32_t ms) override;
  void Finish(std::int32_t exit_code);
  // STILL_ACTIVE while running.
  std::int32_t ExitCode();

 private:
  std::mutex m_lock;
  std::condition_variable m_finishedsignal;
  bool m_finished = false;                 // guarded by m_lock
  std::int32_t m_exitcode = STILL_ACTIVE;  // guarded by m_lock
};

// Waits on `condition` under `lock` until `done()` or ms have passed
// (INFINITE: no limit). Returns done().
template <typename Predicate>
bool WaitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
             std::uint32_t ms, Predicate done) {
  if (ms == INFINITE) {
    condition.wait(lock, done);
    return true;
  }
  return condition.wait_for(lock, std::chrono::milliseconds(ms), done);
}

// The handle table. AddObject never returns NULL_HANDLE or
// INVALID_HANDLE_VALUE; FindObject returns null for unknown handles.
Handle AddObject(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> FindObject(Handle handle);
bool RemoveObject(Handle handle);

// Named events: the object registered under `name`, created by `make` when
// there is none. Names live as long as some handle refers to the event.
std::shared_ptr<EventObject> FindOrMakeNamedEvent(const std::string& name, bool manual_reset,
                                                  bool initially_signalled);

}  // namespace OS

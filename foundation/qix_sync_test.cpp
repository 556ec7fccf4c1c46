#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/os_critical_section.h"
#include "foundation/os_handles.h"
#include "foundation/qix_sync.h"

namespace {

TEST(QixCriticalSection, LockWithZeroTimeoutStillWaitsForTheOwner) {
  Qix::CriticalSection section;
  std::mutex order_lock;
  std::vector<std::string> order;
  auto note = [&](const char* what) {
    std::lock_guard<std::mutex> guard(order_lock);
    order.push_back(what);
  };
  ASSERT_TRUE(section.Lock(0));
  std::atomic<bool> trying{false};
  std::thread other([&] {
    trying = true;
    EXPECT_TRUE(section.Lock(0));
    note("other locked");
    section.Unlock();
  });
  while (!trying) std::this_thread::yield();
  // Give a wrong, non-blocking Lock every chance to get ahead.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  note("owner unlocks");
  section.Unlock();
  other.join();
  EXPECT_EQ(order, (std::vector<std::string>{"owner unlocks", "other locked"}));
}

TEST(QixCriticalSection, IsReentrantAndRefusesUnlockByOthers) {
  Qix::CriticalSection section;
  EXPECT_EQ(section.GetHandle(), OS::NULL_HANDLE);
  EXPECT_TRUE(section.Lock(OS::INFINITE));
  EXPECT_TRUE(section.Lock(OS::INFINITE));
  bool unlocked_elsewhere = true;
  std::thread other([&] { unlocked_elsewhere = section.Unlock(); });
  other.join();
  EXPECT_FALSE(unlocked_elsewhere);
  EXPECT_TRUE(section.Unlock());
  EXPECT_TRUE(section.Unlock());
  EXPECT_FALSE(section.Unlock()) << "not held any more";
  EXPECT_FALSE(section.TryLockShared());
}

TEST(QixSyncLock, LockedFlagFollowsLockAndUnlockResults) {
  struct Case {
    const char* object;
    Qix::SyncObject* sync;
    bool locked_after_lock;
    bool locked_after_unlock;
  };
  Qix::WEvent raised(true, true);
  Qix::WEvent lowered_unused(true, false);
  Qix::SyncObject empty;
  Qix::SyncObject plain(OS::MakeEvent(true, true, nullptr));
  Qix::CriticalSection section;
  const Case cases[] = {
      {"event: Unlock succeeds", &raised, true, false},
      {"no handle: Lock fails", &empty, false, false},
      {"plain handle: Unlock returns false", &plain, true, true},
      {"critical section", &section, true, false},
  };
  for (const Case& c : cases) {
    SyncLock lock(*c.sync);
    EXPECT_EQ(lock.IsLocked(), c.locked_after_lock) << c.object;
    lock.Unlock();
    EXPECT_EQ(lock.IsLocked(), c.locked_after_unlock) << c.object;
  }
  SyncLock deferred(lowered_unused, false);
  EXPECT_FALSE(deferred.IsLocked()) << "lock_now false does not wait";
}

TEST(QixWEvent, SetPulseResetAndTimedLock) {
  Qix::WEvent event(false, false);
  EXPECT_NE(event.GetHandle(), OS::NULL_HANDLE);
  EXPECT_FALSE(event.Lock(0));
  EXPECT_TRUE(event.Set());
  EXPECT_TRUE(event.Lock(0));
  EXPECT_FALSE(event.Lock(10)) << "automatic reset";
  EXPECT_TRUE(event.Set());
  EXPECT_TRUE(event.Reset());
  EXPECT_FALSE(event.Lock(0));
  EXPECT_TRUE(event.Pulse());
  EXPECT_FALSE(event.Lock(0)) << "a pulse without waiters leaves nothing behind";
  EXPECT_TRUE(event.Unlock());
  EXPECT_FALSE(event.TryLockShared());
}

TEST(QixSyncObject, ObjectWithoutHandleReportsFailureQuietly) {
  Qix::SyncObject empty;
  EXPECT_FALSE(empty.Lock(OS::INFINITE));
  EXPECT_FALSE(empty.Unlock());
  EXPECT_FALSE(empty.TryLockShared());
}

TEST(CriticalSectionLock, HoldsTheSectionForItsScope) {
  OS::CriticalSection section;
  {
    CriticalSectionLock lock(section);
    bool entered_elsewhere = true;
    std::thread other([&] { entered_elsewhere = section.TryEnter(); });
    other.join();
    EXPECT_FALSE(entered_elsewhere);
  }
  bool entered_after = false;
  std::thread other([&] {
    entered_after = section.TryEnter();
    if (entered_after) section.Leave();
  });
  other.join();
  EXPECT_TRUE(entered_after);
}

}  // namespace

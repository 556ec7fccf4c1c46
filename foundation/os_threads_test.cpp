#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/crash_test_support.h"
#include "foundation/os_exception.h"
#include "foundation/os_handles.h"
#include "foundation/os_kernel_objects.h"
#include "foundation/os_mutex.h"
#include "foundation/os_thread.h"

namespace {

class CountingThread : public OS::Thread {
 public:
  std::int32_t Run() override { return ++m_runs; }
  std::atomic<int> m_runs{0};
};

// Runs until its event is raised.
class BlockedThread : public OS::Thread {
 public:
  BlockedThread() : m_release(OS::MakeEvent(true, false, nullptr)) {}
  ~BlockedThread() override { OS::CloseObject(m_release); }
  std::int32_t Run() override {
    OS::WaitObject(m_release, OS::INFINITE);
    return 7;
  }
  void Release() { OS::RaiseEvent(m_release); }

 private:
  OS::Handle m_release;
};

std::size_t EventWaiters(OS::Handle event) {
  auto object = std::dynamic_pointer_cast<OS::EventObject>(OS::FindObject(event));
  return object ? object->WaiterCount() : 0;
}

void WaitForWaiters(OS::Handle event, std::size_t count) {
  while (EventWaiters(event) < count) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(OSThread, WaitOnNeverStartedThreadReturnsZero) {
  CountingThread thread;
  EXPECT_EQ(thread.Wait(), 0);
  EXPECT_EQ(thread.GetHandle(), OS::INVALID_HANDLE_VALUE);
  EXPECT_EQ(thread.m_runs, 0);
}

TEST(OSThread, RestartAfterWaitRunsANewThread) {
  CountingThread thread;
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(thread.Wait(), 1);
  const OS::Handle first = thread.GetHandle();
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(thread.Wait(), 2);
  EXPECT_NE(thread.GetHandle(), first);
  EXPECT_THROW(OS::WaitObject(first, 0), OSException) << "the old handle was closed";
}

TEST(OSThread, StartWithFunctionReturnsItsExitCode) {
  OS::Thread thread;
  int value = 41;
  ASSERT_TRUE(thread.Start(
      [](void* parameter) -> std::int32_t {
        int* seen = static_cast<int*>(parameter);
        *seen += 1;
        return -3;
      },
      &value));
  EXPECT_EQ(thread.Wait(), -3);
  EXPECT_EQ(value, 42);
}

TEST(OSThreadDeathTest, RestartWhileRunningTripsTheAssertion) {
  // "fast": the child is a fork of this process, so the directory it dumps
  // into is the one this process removes afterwards.
  GTEST_FLAG_SET(death_test_style, "fast");
  TestDirectory directory;
  EXPECT_DEATH(
      {
        ChangeDirectoryOrDie(directory.path());
        dup2(2, 1);  // the log's standard output, where the death test can see it
        BlockedThread thread;
        thread.Start();
        thread.Start();
      },
      "Assertion failed: WaitForSingleObject\\(m_threadhandle, 0\\) == WAIT_OBJECT_0");
}

TEST(OSThread, WaitReturnsExitCodeOfBlockedThreadAfterRelease) {
  BlockedThread thread;
  ASSERT_TRUE(thread.Start());
  std::int32_t code = 0;
  ASSERT_TRUE(OS::ReadThreadExitCode(thread.GetHandle(), &code));
  EXPECT_EQ(code, OS::STILL_ACTIVE);
  EXPECT_EQ(OS::WaitObject(thread.GetHandle(), 0), OS::WAIT_TIMEOUT);
  thread.Release();
  EXPECT_EQ(thread.Wait(), 7);
}

TEST(OSMutex, UnlockByNonOwnerIsRefused) {
  OS::Handle mutex = OS::MakeMutex(true);
  bool released_elsewhere = true;
  std::thread other([&] { released_elsewhere = OS::UnlockMutex(mutex); });
  other.join();
  EXPECT_FALSE(released_elsewhere);
  EXPECT_TRUE(OS::UnlockMutex(mutex));
  EXPECT_FALSE(OS::UnlockMutex(mutex)) << "released twice";
  OS::CloseObject(mutex);
}

TEST(OSMutex, ReleaseWithoutOwnershipThrowsItsText) {
  OS::Mutex mutex;
  mutex.Acquire();
  mutex.Acquire();  // re-entrant
  mutex.Release();
  mutex.Release();
  try {
    mutex.Release();
    FAIL() << "no exception";
  } catch (const OSException& error) {
    EXPECT_STREQ(error.what(), "Failed to release the mutex");
    EXPECT_EQ(error.Message(), "Failed to release the mutex");
  }
}

TEST(OSMutex, AbandonedMutexCountsAsAcquired) {
  OS::Handle mutex = OS::MakeMutex(false);
  std::thread owner([&] { EXPECT_EQ(OS::WaitObject(mutex, OS::INFINITE), OS::WAIT_OBJECT_0); });
  owner.join();  // ends while holding the mutex
  EXPECT_EQ(OS::WaitObject(mutex, 0), OS::WAIT_ABANDONED);
  EXPECT_TRUE(OS::UnlockMutex(mutex));
  EXPECT_EQ(OS::WaitObject(mutex, 0), OS::WAIT_OBJECT_0) << "abandonment is reported once";
  EXPECT_TRUE(OS::UnlockMutex(mutex));
  OS::CloseObject(mutex);
}

TEST(OSMutex, HeldMutexTimesOutForOthers) {
  OS::Handle mutex = OS::MakeMutex(true);
  std::uint32_t result = 0;
  std::thread other([&] { result = OS::WaitObject(mutex, 20); });
  other.join();
  EXPECT_EQ(result, OS::WAIT_TIMEOUT);
  OS::CloseObject(mutex);
}

TEST(OSEvent, ResetModes) {
  struct Case {
    bool manual;
    std::uint32_t second_wait;  // after one successful wait on a raised event
  };
  for (const Case& c : {Case{true, OS::WAIT_OBJECT_0}, Case{false, OS::WAIT_TIMEOUT}}) {
    OS::Handle event = OS::MakeEvent(c.manual, false, nullptr);
    EXPECT_EQ(OS::WaitObject(event, 0), OS::WAIT_TIMEOUT);
    EXPECT_TRUE(OS::RaiseEvent(event));
    EXPECT_EQ(OS::WaitObject(event, 0), OS::WAIT_OBJECT_0);
    EXPECT_EQ(OS::WaitObject(event, 0), c.second_wait) << "manual=" << c.manual;
    EXPECT_TRUE(OS::LowerEvent(event));
    EXPECT_EQ(OS::WaitObject(event, 0), OS::WAIT_TIMEOUT);
    OS::CloseObject(event);
  }
}

TEST(OSEvent, PulseReleasesWaitersPresentAndLeavesEventLowered) {
  struct Case {
    bool manual;
    std::size_t left_waiting;  // of two waiters, after the pulse
  };
  for (const Case& c : {Case{true, 0}, Case{false, 1}}) {
    OS::Handle event = OS::MakeEvent(c.manual, false, nullptr);
    std::vector<std::thread> waiters;
    std::atomic<int> released{0};
    for (int i = 0; i < 2; ++i) {
      waiters.emplace_back([&] {
        if (OS::WaitObject(event, OS::INFINITE) == OS::WAIT_OBJECT_0) ++released;
      });
    }
    WaitForWaiters(event, 2);
    EXPECT_TRUE(OS::PulseEvent(event));
    EXPECT_EQ(EventWaiters(event), c.left_waiting) << "manual=" << c.manual;
    EXPECT_EQ(OS::WaitObject(event, 0), OS::WAIT_TIMEOUT) << "the pulse leaves the event lowered";
    OS::RaiseEvent(event);  // lets a remaining waiter go
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(released, 2);
    OS::CloseObject(event);
  }
}

TEST(OSEvent, PulseWithoutWaitersOnlyLowers) {
  OS::Handle event = OS::MakeEvent(true, true, nullptr);
  OS::PulseEvent(event);
  EXPECT_EQ(OS::WaitObject(event, 0), OS::WAIT_TIMEOUT);
  OS::CloseObject(event);
}

TEST(OSEvent, AutoResetRaiseWakesOneWaiterAndStaysLowered) {
  OS::Handle event = OS::MakeEvent(false, false, nullptr);
  std::thread waiter([&] { EXPECT_EQ(OS::WaitObject(event, OS::INFINITE), OS::WAIT_OBJECT_0); });
  WaitForWaiters(event, 1);
  OS::RaiseEvent(event);
  waiter.join();
  EXPECT_EQ(OS::WaitObject(event, 0), OS::WAIT_TIMEOUT) << "the raise went to the waiter";
  OS::CloseObject(event);
}

TEST(OSEvent, NamedEventsShareOneObject) {
  OS::Handle first = OS::MakeEvent(true, false, "os-threads-test-shared");
  OS::Handle second = OS::MakeEvent(false, true, "os-threads-test-shared");  // settings ignored
  EXPECT_NE(first, second);
  EXPECT_EQ(OS::WaitObject(second, 0), OS::WAIT_TIMEOUT);
  OS::RaiseEvent(first);
  EXPECT_EQ(OS::WaitObject(second, 0), OS::WAIT_OBJECT_0);
  EXPECT_EQ(OS::WaitObject(second, 0), OS::WAIT_OBJECT_0) << "manual reset, as first made";
  OS::CloseObject(first);
  OS::CloseObject(second);
  OS::Handle fresh = OS::MakeEvent(false, false, "os-threads-test-shared");
  EXPECT_EQ(OS::WaitObject(fresh, 0), OS::WAIT_TIMEOUT) << "the name went with its last handle";
  OS::CloseObject(fresh);
}

TEST(OSHandles, MisusedHandlesThrowWithEmptyMessage) {
  OS::Handle event = OS::MakeEvent(true, false, nullptr);
  OS::Handle mutex = OS::MakeMutex(false);
  EXPECT_THROW(OS::UnlockMutex(event), OSException) << "not a mutex";
  EXPECT_THROW(OS::RaiseEvent(mutex), OSException) << "not an event";
  std::int32_t code = 12;
  EXPECT_FALSE(OS::ReadThreadExitCode(event, &code));
  EXPECT_EQ(code, 12);
  OS::CloseObject(event);
  OS::CloseObject(mutex);
  try {
    OS::WaitObject(event, 0);
    FAIL() << "a closed handle was accepted";
  } catch (const OSException& error) {
    EXPECT_STREQ(error.what(), "");
  }
  EXPECT_THROW(OS::CloseObject(event), OSException);
  EXPECT_THROW(OS::WaitObject(OS::INVALID_HANDLE_VALUE, 0), OSException);
  EXPECT_THROW(OS::WaitObject(OS::NULL_HANDLE, 0), OSException);
}

TEST(OSHandles, ClosingARunningThreadsHandleLetsItFinish) {
  static std::atomic<bool> finished{false};
  OS::Handle done = OS::MakeEvent(true, false, nullptr);
  OS::Handle thread = OS::StartThread(
      64 * 1024,
      [](void* parameter) -> std::int32_t {
        OS::WaitObject(*static_cast<OS::Handle*>(parameter), OS::INFINITE);
        finished = true;
        return 0;
      },
      &done);
  OS::CloseObject(thread);
  OS::RaiseEvent(done);
  while (!finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  OS::CloseObject(done);
}

}  // namespace

// Threads on pthreads: OS::StartThread and the thread object behind its
// handle.
#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include "foundation/crash_handlers.h"
#include "foundation/os_exception.h"
#include "foundation/os_kernel_objects.h"

namespace OS {
namespace {

// Owned by the new thread from the moment pthread_create succeeds.
struct ThreadStart {
  ThreadFunction function;
  void* parameter;
  std::shared_ptr<ThreadObject> thread;
};

void* ThreadTrampoline(void* argument) {
  auto* start = static_cast<ThreadStart*>(argument);
  std::shared_ptr<ThreadObject> thread = std::move(start->thread);
  const ThreadFunction function = start->function;
  void* parameter = start->parameter;
  delete start;
  PrepareThreadForCrashReports();
  const std::int32_t exit_code = function(parameter);
  thread->Finish(exit_code);
  return nullptr;
}

std::size_t AcceptedStackSize(std::size_t requested) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t minimum = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  const std::size_t size = requested < minimum ? minimum : requested;
  return (size + page - 1) / page * page;
}

}  // namespace

std::uint32_t ThreadObject::Wait(std::uint32_t ms) {
  std::unique_lock<std::mutex> lock(m_lock);
  return WaitFor(m_finishedsignal, lock, ms, [&] { return m_finished; }) ? WAIT_OBJECT_0
                                                                         : WAIT_TIMEOUT;
}

void ThreadObject::Finish(std::int32_t exit_code) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_exitcode = exit_code;
  m_finished = true;
  m_finishedsignal.notify_all();
}

std::int32_t ThreadObject::ExitCode() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_finished ? m_exitcode : STILL_ACTIVE;
}

Handle StartThread(std::size_t stack_size, ThreadFunction function, void* parameter) {
  auto thread = std::make_shared<ThreadObject>();
  auto* start = new ThreadStart{function, parameter, thread};
  pthread_attr_t attributes;
  bool started = false;
  if (pthread_attr_init(&attributes) == 0) {
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stack_size == 0 ||
        pthread_attr_setstacksize(&attributes, AcceptedStackSize(stack_size)) == 0) {
      pthread_t id;
      started = pthread_create(&id, &attributes, ThreadTrampoline, start) == 0;
    }
    pthread_attr_destroy(&attributes);
  }
  if (!started) {
    delete start;
    throw OSException();
  }
  return AddObject(std::move(thread));
}

}  // namespace OS

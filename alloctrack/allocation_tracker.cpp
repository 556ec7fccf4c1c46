#include "alloctrack/allocation_tracker.h"

#include <pthread.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "alloctrack/allocation_record.h"
#include "alloctrack/allocation_tracker_internal.h"
#include "alloctrack/leak_report.h"
#include "alloctrack/tracker_crash_filter.h"
#include "foundation/call_stack.h"
#include "foundation/log.h"
#include "foundation/thread_capture.h"
#include "platform/log_output.h"

namespace {

// The inside-thread marker: the marker value of the thread that executes the
// tracker's bookkeeping under the lock, MARKER_NONE when none, and
// MARKER_NOT_RUNNING (its value at load) before the tracker starts and after
// the exit report. Nested allocations of the thread named in it (map nodes)
// take the untracked path instead of waiting for the lock it holds.
constexpr std::uint32_t MARKER_NONE = 0;
constexpr std::uint32_t MARKER_NOT_RUNNING = 1;
// A thread's marker value is its kernel thread id; id 1 (the first process
// of a PID namespace, a container's main program) is moved out of the way
// of MARKER_NOT_RUNNING. Kernel thread ids stay below 2^22.
constexpr std::uint32_t MARKER_FOR_THREAD_ONE = 0x80000001u;

constinit std::atomic<std::uint32_t> g_marker{MARKER_NOT_RUNNING};
constinit std::atomic<AllocationReportSink> g_sink{nullptr};

struct ThreadIdentity {
  std::uint32_t id = 0;    // kernel thread id; 0 until first needed, and after a fork
  bool suspended = false;  // this thread builds a report line outside the lock
};
constinit thread_local ThreadIdentity t_identity;

std::uint32_t ThreadId() {
  if (t_identity.id == 0) t_identity.id = static_cast<std::uint32_t>(CurrentThreadId());
  return t_identity.id;
}

std::uint32_t MarkerOf(std::uint32_t thread_id) {
  return thread_id == 1 ? MARKER_FOR_THREAD_ONE : thread_id;
}

struct TrackerState {
  std::mutex lock;
  std::map<std::uintptr_t, AllocationRecord> live;  // guarded by lock
  bool finished = false;  // guarded by lock; the exit report has taken the records
};

// Built when the tracker starts and never destroyed, so that a thread that
// still allocates while static destruction runs finds a valid lock.
alignas(TrackerState) unsigned char g_state_storage[sizeof(TrackerState)];
TrackerState* g_state = nullptr;

// The lock and the marker around one piece of bookkeeping. After the exit
// report the marker stays MARKER_NOT_RUNNING and finished() is true.
class Bookkeeping {
 public:
  Bookkeeping() : m_guard(g_state->lock) {
    if (!g_state->finished) g_marker.store(MarkerOf(ThreadId()), std::memory_order_relaxed);
  }
  ~Bookkeeping() {
    if (!g_state->finished) g_marker.store(MARKER_NONE, std::memory_order_relaxed);
  }
  Bookkeeping(const Bookkeeping&) = delete;
  Bookkeeping& operator=(const Bookkeeping&) = delete;

  bool finished() const { return g_state->finished; }

 private:
  std::lock_guard<std::mutex> m_guard;
};

// Lets this thread allocate untracked without holding the lock, for work
// that takes other locks (the symbol engine's). Every block allocated in
// the scope must be freed in it.
class Suspension {
 public:
  Suspension() : m_previous(t_identity.suspended) { t_identity.suspended = true; }
  ~Suspension() { t_identity.suspended = m_previous; }
  Suspension(const Suspension&) = delete;
  Suspension& operator=(const Suspension&) = delete;

 private:
  bool m_previous;
};

ResolvedFrame ResolveReturnAddress(std::uintptr_t address) { return ResolveFrame(address, true); }

// One report text to the sink and the debugger channel. The system log keeps
// records, not lines: it gets the text without its leading and trailing line
// feeds, and nothing for a text that is only line feeds.
// REQUIRES: untracked allocation for the calling thread.
void EmitReportText(const std::string& text) {
  if (AllocationReportSink sink = g_sink.load()) sink(text);
  const std::size_t first = text.find_first_not_of('\n');
  if (first == std::string::npos) return;
  const std::size_t last = text.find_last_not_of('\n');
  OS::WriteDebugChannel(std::string_view(text).substr(first, last - first + 1));
}

void RunExitReport() {
  std::map<std::uintptr_t, AllocationRecord> live;
  {
    std::lock_guard<std::mutex> guard(g_state->lock);
    g_state->finished = true;
    g_marker.store(MARKER_NOT_RUNNING, std::memory_order_release);
    live.swap(g_state->live);
  }
  // From here on every thread allocates and releases untracked, so the
  // report may take the log lock and the symbol engine's lock without
  // waiting for a thread that holds one of them and allocates.
  {
    std::lock_guard<std::recursive_mutex> log_guard(LogLock());
    std::vector<AllocationRecord> records;
    records.reserve(live.size());
    for (const auto& entry : live) records.push_back(entry.second);
    for (const std::string& text : BuildLeakReport(std::move(records), ResolveReturnAddress)) {
      EmitReportText(text);
    }
  }
  RemoveTrackerCrashFilter();
}

// A fork copies the lock in whatever state another thread left it: hold it
// across the fork so that the child's only thread finds it free.
void LockBeforeFork() { g_state->lock.lock(); }
void UnlockInParent() { g_state->lock.unlock(); }
void UnlockInChild() {
  t_identity.id = 0;  // the child's thread has an id of its own
  g_state->lock.unlock();
}

struct TrackerLifetime {
  TrackerLifetime() {
    g_state = new (g_state_storage) TrackerState;
    // The log keeps its objects for the whole process; made before tracking
    // starts, they are no leaks. The exit report also takes its lock.
    LogLock();
    InstallTrackerCrashFilter();
    pthread_atfork(LockBeforeFork, UnlockInParent, UnlockInChild);
    g_marker.store(MARKER_NONE, std::memory_order_release);
  }
  ~TrackerLifetime() { RunExitReport(); }
  TrackerLifetime(const TrackerLifetime&) = delete;
  TrackerLifetime& operator=(const TrackerLifetime&) = delete;
};

// Constructed before the program's other static objects (priority 101 is the
// first one open to programs) and so destroyed after them.
__attribute__((init_priority(101))) TrackerLifetime g_lifetime;

}  // namespace

void SetAllocationReportSink(AllocationReportSink sink) { g_sink.store(sink); }

bool TrackerBypasses() {
  const std::uint32_t marker = g_marker.load(std::memory_order_acquire);
  if (marker == MARKER_NOT_RUNNING || t_identity.suspended) return true;
  return marker != MARKER_NONE && marker == MarkerOf(ThreadId());
}

void TrackerRecord(void* block, std::size_t size, const std::uintptr_t* frames, int count) {
  AllocationRecord record{};
  record.size = size;
  record.thread_id = ThreadId();
  record.frame_count =
      static_cast<std::uint16_t>(count < ALLOCATION_FRAME_LIMIT ? count : ALLOCATION_FRAME_LIMIT);
  std::memcpy(record.frames, frames, record.frame_count * sizeof(record.frames[0]));
  Bookkeeping bookkeeping;
  if (bookkeeping.finished()) return;
  try {
    // A record left by a block that went to free() directly is stale: the
    // heap has handed its address out again.
    g_state->live.insert_or_assign(reinterpret_cast<std::uintptr_t>(block), record);
  } catch (const std::bad_alloc&) {
  }
}

bool TrackerForget(void* block) {
  Bookkeeping bookkeeping;
  if (bookkeeping.finished()) return true;
  return g_state->live.erase(reinterpret_cast<std::uintptr_t>(block)) == 1;
}

void TrackerReportUnknown(void* block, const std::uintptr_t* frames, int count) {
  Suspension suspension;
  try {
    const std::string line = UnknownBlockLine(block, frames, count, ResolveReturnAddress);
    Bookkeeping bookkeeping;  // one report text at a time
    if (!bookkeeping.finished()) EmitReportText(line);
  } catch (const std::bad_alloc&) {
  }
}

void TrackerStopForCrashHelper() { g_marker.store(MARKER_NOT_RUNNING); }

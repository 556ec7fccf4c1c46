#include "foundation/os_handles.h"

#include <map>
#include <unordered_map>

#include "foundation/os_exception.h"
#include "foundation/os_kernel_objects.h"

namespace OS {
namespace {

struct HandleTable {
  std::mutex lock;
  std::uintptr_t next = 4;  // handle values grow by 4 and are never reused
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
  std::map<std::string, std::weak_ptr<EventObject>> named_events;
};

// Never destroyed: threads may still close handles while the process ends.
HandleTable& Table() {
  static HandleTable* table = new HandleTable;
  return *table;
}

template <typename T>
std::shared_ptr<T> FindAs(Handle handle) {
  std::shared_ptr<T> object = std::dynamic_pointer_cast<T>(FindObject(handle));
  if (!object) throw OSException();
  return object;
}

}  // namespace

KernelObject::~KernelObject() = default;

Handle AddObject(std::shared_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  const std::uintptr_t value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return Handle{value};
}

std::shared_ptr<KernelObject> FindObject(Handle handle) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.objects.find(static_cast<std::uintptr_t>(handle));
  if (found == table.objects.end()) return nullptr;
  return found->second;
}

bool RemoveObject(Handle handle) {
  std::shared_ptr<KernelObject> last;  // destroyed outside the table lock
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.objects.find(static_cast<std::uintptr_t>(handle));
  if (found == table.objects.end()) return false;
  last = std::move(found->second);
  table.objects.erase(found);
  return true;
}

std::shared_ptr<EventObject> FindOrMakeNamedEvent(const std::string& name, bool manual_reset,
                                                  bool initially_signalled) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  std::weak_ptr<EventObject>& slot = table.named_events[name];
  std::shared_ptr<EventObject> event = slot.lock();
  if (!event) {
    event = std::make_shared<EventObject>(manual_reset, initially_signalled);
    slot = event;
  }
  for (auto it = table.named_events.begin(); it != table.named_events.end();) {
    it = it->second.expired() ? table.named_events.erase(it) : std::next(it);
  }
  return event;
}

Handle MakeEvent(bool manual_reset, bool initially_signalled, const char* name) {
  if (name != nullptr) {
    return AddObject(FindOrMakeNamedEvent(name, manual_reset, initially_signalled));
  }
  return AddObject(std::make_shared<EventObject>(manual_reset, initially_signalled));
}

Handle MakeMutex(bool initially_owned) {
  auto mutex = std::make_shared<MutexObject>();
  if (initially_owned) mutex->Wait(0);
  return AddObject(std::move(mutex));
}

void CloseObject(Handle handle) {
  if (!RemoveObject(handle)) throw OSException();
}

bool RaiseEvent(Handle handle) {
  FindAs<EventObject>(handle)->Raise();
  return true;
}

bool LowerEvent(Handle handle) {
  FindAs<EventObject>(handle)->Lower();
  return true;
}

bool PulseEvent(Handle handle) {
  FindAs<EventObject>(handle)->Pulse();
  return true;
}

bool UnlockMutex(Handle handle) { return FindAs<MutexObject>(handle)->Unlock(); }

std::uint32_t WaitObject(Handle handle, std::uint32_t ms) {
  std::shared_ptr<KernelObject> object = FindObject(handle);
  if (!object) throw OSException();  // WAIT_FAILED
  return object->Wait(ms);
}

bool ReadThreadExitCode(Handle handle, std::int32_t* code) {
  auto thread = std::dynamic_pointer_cast<ThreadObject>(FindObject(handle));
  if (!thread) return false;
  *code = thread->ExitCode();
  return true;
}

}  // namespace OS

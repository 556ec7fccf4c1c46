#include "repair/io_operation.h"

#include "foundation/assert_condition.h"

IOOperation::~IOOperation() {
  AssertCondition(IsInState(STATE_COMPLETE) || IsInState(STATE_UNUSED),
                  "IsInState(STATE_COMPLETE) || IsInState(STATE_UNUSED)");
  m_state.store(STATE_DESTROYED);
}

void IOOperation::SetBuffer(void* base, std::uint32_t count) {
  m_base = static_cast<std::uint8_t*>(base);
  m_bufferlength = count;
  m_wanted = count;
  m_done = 0;
  m_wsabuffer.m_pointer = m_base;
  m_wsabuffer.m_length = count;
}

void IOOperation::MarkPosted() {
  AssertCondition(IsInState(STATE_UNUSED) || IsInState(STATE_CAUGHT),
                  "IsInState(STATE_UNUSED) || IsInState(STATE_CAUGHT)");
  m_state.store(STATE_POSTED);
}

void IOOperation::MarkFailedPost() {
  AssertCondition(IsInState(STATE_POSTED), "IsInState(STATE_POSTED)");
  m_state.store(STATE_FAILEDPOST);
}

void IOOperation::MarkCaught() {
  AssertCondition(IsInState(STATE_POSTED), "IsInState(STATE_POSTED)");
  m_state.store(STATE_CAUGHT);
}

void IOOperation::MarkSignalled() {
  AssertCondition(IsInState(STATE_CAUGHT) || IsInState(STATE_FAILEDPOST),
                  "IsInState(STATE_CAUGHT) || IsInState(STATE_FAILEDPOST)");
  m_state.store(STATE_SIGNALLED);
}

void IOOperation::MarkComplete() {
  AssertCondition(IsInState(STATE_UNUSED) || IsInState(STATE_SIGNALLED),
                  "IsInState(STATE_UNUSED) || IsInState(STATE_SIGNALLED)");
  m_state.store(STATE_COMPLETE);
}

void IOOperation::Complete() {
  MarkSignalled();
  m_completed = true;
  // Signalled under the lock: the waiter cannot return (and destroy this
  // object) before the notification is over.
  std::lock_guard<std::mutex> guard(m_eventlock);
  m_signalled = true;
  m_event.notify_all();
}

void IOOperation::WaitForCompletion() {
  {
    std::unique_lock<std::mutex> lock(m_eventlock);
    m_event.wait(lock, [this] { return m_signalled; });
  }
  MarkComplete();
}

const char* IOOperation::TypeName(std::int32_t type) {
  switch (type) {
    case IO_TCP_Invalid:
      return "IO_TCP_Invalid";
    case IO_TCP_StartConnect:
      return "IO_TCP_StartConnect";
    case IO_TCP_Connect:
      return "IO_TCP_Connect";
    case IO_TCP_StartAccept:
      return "IO_TCP_StartAccept";
    case IO_TCP_Accept:
      return "IO_TCP_Accept";
    case IO_TCP_Read:
      return "IO_TCP_Read";
    case IO_TCP_Write:
      return "IO_TCP_Write";
    case IO_TCP_StartRead:
      return "IO_TCP_StartRead";
    case IO_TCP_StartWrite:
      return "IO_TCP_StartWrite";
    case IO_TCP_StartDisconnect:
      return "IO_TCP_StartDisconnect";
    case IO_TCP_Disconnect:
      return "IO_TCP_Disconnect";
    default:
      return "IO_UNKNOWN";
  }
}

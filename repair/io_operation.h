// IOOperation: one overlapped socket operation of the completion-port layer
// (docs/formats/repair-protocol.md describes the layer's use). A user thread
// builds it on its stack, posts it to the completion-port worker through a
// TCPSocket and waits on its event; the worker issues the socket calls and
// completes it. Every change of state checks the state it leaves, through
// AssertCondition: a violation is a programming error that ends the process.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "foundation/bram_result.h"

class TCPSocket;

class IOOperation {
 public:
  enum Type : std::int32_t {
    IO_TCP_Invalid = 0,
    IO_TCP_StartConnect = 1,  // posted by a user thread, connect not yet issued
    IO_TCP_Connect = 2,       // connect issued
    IO_TCP_StartAccept = 3,
    IO_TCP_Accept = 4,
    IO_TCP_Read = 5,        // receive issued
    IO_TCP_Write = 6,       // send issued
    IO_TCP_StartRead = 7,   // posted by a user thread, receive not yet issued
    IO_TCP_StartWrite = 8,  // posted by a user thread, send not yet issued
    IO_TCP_StartDisconnect = 9,
    IO_TCP_Disconnect = 10,
  };

  enum State : std::int32_t {
    STATE_UNUSED = 0,      // constructed
    STATE_POSTED = 1,      // queued to the port or issued to the platform
    STATE_FAILEDPOST = 2,  // the platform call failed at once
    STATE_CAUGHT = 3,      // taken off the port by the worker (or to be re-queued)
    STATE_SIGNALLED = 4,   // completed, event set
    STATE_COMPLETE = 5,    // the waiting thread woke up
    STATE_DESTROYED = 6,
  };

  IOOperation() = default;
  // Checks "IsInState(STATE_COMPLETE) || IsInState(STATE_UNUSED)".
  virtual ~IOOperation();
  IOOperation(const IOOperation&) = delete;
  IOOperation& operator=(const IOOperation&) = delete;

  // Moves to STATE_SIGNALLED, sets the completed flag and signals the
  // event. After Complete the
  // operation may be gone: the waiting thread owns it again.
  virtual void Complete();

  // The read or write area: `count` bytes at `base`.
  void SetBuffer(void* base, std::uint32_t count);

  bool IsInState(State state) const { return m_state.load() == state; }
  State GetState() const { return static_cast<State>(m_state.load()); }

  // Checked state changes.
  void MarkPosted();      // from UNUSED or CAUGHT
  void MarkFailedPost();  // from POSTED
  void MarkCaught();      // from POSTED

  // Blocks until Complete, then moves to STATE_COMPLETE (from SIGNALLED).
  void WaitForCompletion();

  // The layer's name of an operation type; "IO_UNKNOWN" for other values.
  static const char* TypeName(std::int32_t type);

  // Written by the worker while the user thread waits; read by the user
  // thread after WaitForCompletion (the event orders the accesses).
  std::uint32_t m_bytes = 0;  // bytes moved by the last completion
  BramResult m_error = BRAMRESULT_OK;
  int m_systemerror = 0;  // the platform error behind m_error
  std::int32_t m_operation = IO_TCP_Invalid;
  bool m_completed = false;
  // The part still to move, as handed to the platform.
  struct {
    std::uint32_t m_length = 0;
    std::uint8_t* m_pointer = nullptr;
  } m_wsabuffer;
  TCPSocket* m_handler = nullptr;
  std::uint32_t m_bufferlength = 0;
  std::uint32_t m_wanted = 0;
  std::uint32_t m_done = 0;
  std::uint8_t* m_base = nullptr;

 private:
  void MarkSignalled();  // from CAUGHT or FAILEDPOST
  void MarkComplete();   // from UNUSED or SIGNALLED

  std::atomic<std::int32_t> m_state{STATE_UNUSED};
  std::mutex m_eventlock;
  std::condition_variable m_event;
  bool m_signalled = false;  // guarded by m_eventlock
};

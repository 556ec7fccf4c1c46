// TCPSocket: the client side of one TCP connection on the completion port.
// User threads call StartConnect / StartRead / StartWrite with an operation
// and then wait on it; the worker thread runs HandleCompletion and the
// response operations, which issue the real socket calls and decide when an
// operation is finished. Ordering rules, checked with AssertCondition:
//  - at most one user thread at a time runs operations of one class on a
//    socket (class 0: connect, bind, reads; class 1: writes), so one reader
//    and one writer may work side by side and a thread may nest its own;
//  - completions are handled on the worker only, and only while a user
//    thread waits for them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "repair/socket_address.h"

class CPSocketManager;
class IOOperation;
struct TCPSocketChannel;  // tcp_socket.cpp: the Asio socket

constexpr int USERLAND_OPERATION_CLASS_READ = 0;   // connect, bind, reads
constexpr int USERLAND_OPERATION_CLASS_WRITE = 1;  // writes
constexpr int USERLAND_OPERATION_CLASS_MAX = 2;

// Anything that receives completions from the port.
class CPHandler {
 public:
  CPHandler() = default;
  virtual ~CPHandler() = default;
  CPHandler(const CPHandler&) = delete;
  CPHandler& operator=(const CPHandler&) = delete;

  // Worker thread only. `error` is the platform error of the completion.
  virtual void HandleCompletion(IOOperation& operation, int error) = 0;
  CPSocketManager* GetManager() const { return m_manager; }

 protected:
  CPSocketManager* m_manager = nullptr;
};

class TCPSocket : public CPHandler {
 public:
  TCPSocket();
  // Closes abortively when still open. REQUIRES: no operation in flight.
  ~TCPSocket() override;

  // Checks "IsInIOCPThread()", that a user thread waits, that the type is
  // set and that the socket has a manager; dispatches to the response for
  // the type and completes the operation when that says it is finished.
  void HandleCompletion(IOOperation& operation, int error) override;

  // The native descriptor, -1 when there is none.
  virtual std::intptr_t GetHandle() const;

  // Opens an IPv4 stream socket on the manager's port. Checks
  // "INVALID_SOCKET == m_socket". False (nothing open) on failure.
  virtual bool Create(CPSocketManager* manager);

  // Post the operation to the worker: a connect to `address` (class 0), a
  // read of the operation's buffer (class 0), a write of it (class 1). A post
  // that cannot be made completes the operation at once with the error.
  virtual void StartConnect(const BramSocketAddress& address, IOOperation& operation);
  virtual void StartRead(IOOperation& operation);
  virtual void StartWrite(IOOperation& operation);

  // Worker thread: true when the operation is finished, false while it is
  // still in flight.
  virtual bool ConnectResponse(IOOperation& operation, int error);
  virtual bool RecvResponse(IOOperation& operation, int error);
  virtual bool SendResponse(IOOperation& operation, int error);

  // Userland bookkeeping (see the header comment). User threads only.
  void BeginUserlandOperation(int userlandOperationClass);
  void EndUserlandOperation(int userlandOperationClass);
  bool IsUserlandSocketOperationInProgress() const;

  // Sets SO_LINGER on with time 0 and closes the socket: pending operations
  // fail, the peer sees a reset. Runs on the worker; a user thread waits
  // until it is done. Idempotent.
  void CloseAbortive();

  void SetOwnerThread(std::int64_t thread) { m_ownerthread = thread; }
  // Filled after the connect; the remote one is set by StartConnect.
  // Read them only while no operation is in flight.
  BramSocketAddress GetLocalAddress() const { return m_localaddress; }
  BramSocketAddress GetRemoteAddress() const { return m_remoteaddress; }

 private:
  // Queues the operation (STATE_POSTED) for the worker.
  void Post(IOOperation& operation);
  // Worker: issue a receive or send of the operation's unmoved rest.
  void IssueReceive(IOOperation& operation);
  void IssueSend(IOOperation& operation);
  // Worker: the buffer-shortage path, re-queues the operation.
  void Requeue(IOOperation& operation, std::int32_t start_type, const char* line);
  // Runs `function` on the worker and waits for it (at once on the worker).
  template <typename Function>
  void RunOnWorker(Function function);

  std::int64_t m_ownerthread = -1;
  std::unique_ptr<TCPSocketChannel> m_socket;  // null before Create
  bool m_allowpartialreads = false;
  BramSocketAddress m_localaddress;
  BramSocketAddress m_remoteaddress;
  std::atomic<std::int64_t> m_currentUserlandThread[USERLAND_OPERATION_CLASS_MAX];
  std::atomic<std::int32_t> m_userlandcount[USERLAND_OPERATION_CLASS_MAX];
};

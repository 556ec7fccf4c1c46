#include "repair/tcp_socket.h"

#include <asio/buffer.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/socket_base.hpp>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "foundation/assert_condition.h"
#include "foundation/log.h"
#include "repair/cp_socket_manager.h"
#include "repair/io_completion_port.h"
#include "repair/io_operation.h"
#include "repair/socket_error_map.h"

struct TCPSocketChannel {
  explicit TCPSocketChannel(asio::io_context& context) : m_socket(context) {}
  asio::ip::tcp::socket m_socket;
};

namespace {

bool IsInUserlandThread() { return !IsInIOCPThread(); }

asio::ip::tcp::endpoint ToEndpoint(const BramSocketAddress& address) {
  return asio::ip::tcp::endpoint(asio::ip::address_v4(address.m_address), address.m_port);
}

BramSocketAddress FromEndpoint(const asio::ip::tcp::endpoint& endpoint) {
  BramSocketAddress address;
  if (endpoint.address().is_v4()) address.m_address = endpoint.address().to_v4().to_uint();
  address.m_port = endpoint.port();
  return address;
}

// Finishes an operation with a platform error (and its mapped result).
bool FinishWith(IOOperation& operation, int platform_error) {
  operation.m_systemerror = platform_error;
  operation.m_error = MapSocketError(platform_error);
  return true;
}

int ErrorOf(const asio::error_code& error) { return ToPlatformError(error); }

}  // namespace

TCPSocket::TCPSocket() {
  for (int i = 0; i < USERLAND_OPERATION_CLASS_MAX; ++i) {
    m_currentUserlandThread[i].store(-1);
    m_userlandcount[i].store(0);
  }
}

TCPSocket::~TCPSocket() {
  if (m_socket == nullptr) return;
  CloseAbortive();
  // The Asio socket goes on the worker as well, after whatever the close
  // queued there.
  RunOnWorker([this] { m_socket.reset(); });
}

template <typename Function>
void TCPSocket::RunOnWorker(Function function) {
  if (IsInIOCPThread() || m_manager == nullptr) {
    function();
    return;
  }
  std::mutex lock;
  std::condition_variable changed;
  bool done = false;
  m_manager->GetPort().Post([&] {
    function();
    // Notified under the lock: this frame cannot end before that is over.
    std::lock_guard<std::mutex> guard(lock);
    done = true;
    changed.notify_all();
  });
  std::unique_lock<std::mutex> wait(lock);
  changed.wait(wait, [&] { return done; });
}

std::intptr_t TCPSocket::GetHandle() const {
  if (m_socket == nullptr || !m_socket->m_socket.is_open()) return -1;
  return static_cast<std::intptr_t>(m_socket->m_socket.native_handle());
}

bool TCPSocket::Create(CPSocketManager* manager) {
  AssertCondition(m_socket == nullptr, "INVALID_SOCKET == m_socket");
  if (manager == nullptr) return false;
  std::lock_guard<std::recursive_mutex> guard(manager->GetLock());
  auto channel = std::make_unique<TCPSocketChannel>(manager->GetPort().Context());
  asio::error_code error;
  channel->m_socket.open(asio::ip::tcp::v4(), error);
  if (error) {
    LogPrintf("TCPSocket::Create> socket returned err %d", ErrorOf(error));
    return false;
  }
  m_socket = std::move(channel);
  m_manager = manager;
  return true;
}

void TCPSocket::Post(IOOperation& operation) {
  operation.MarkPosted();
  if (m_manager == nullptr || m_socket == nullptr) {
    operation.MarkFailedPost();
    FinishWith(operation, SOCKET_ERROR_NOT_SOCKET);
    operation.Complete();
    return;
  }
  IOOperation* posted = &operation;
  m_manager->GetPort().Post([posted] { DeliverCompletion(*posted, 0, SOCKET_ERROR_NONE); });
}

void TCPSocket::StartConnect(const BramSocketAddress& address, IOOperation& operation) {
  BeginUserlandOperation(USERLAND_OPERATION_CLASS_READ);
  operation.m_handler = this;
  operation.m_operation = IOOperation::IO_TCP_StartConnect;
  m_remoteaddress = address;
  Post(operation);
  EndUserlandOperation(USERLAND_OPERATION_CLASS_READ);
}

void TCPSocket::StartRead(IOOperation& operation) {
  BeginUserlandOperation(USERLAND_OPERATION_CLASS_READ);
  operation.m_handler = this;
  operation.m_operation = IOOperation::IO_TCP_StartRead;
  Post(operation);
  EndUserlandOperation(USERLAND_OPERATION_CLASS_READ);
}

void TCPSocket::StartWrite(IOOperation& operation) {
  BeginUserlandOperation(USERLAND_OPERATION_CLASS_WRITE);
  operation.m_handler = this;
  operation.m_operation = IOOperation::IO_TCP_StartWrite;
  Post(operation);
  EndUserlandOperation(USERLAND_OPERATION_CLASS_WRITE);
}

void TCPSocket::HandleCompletion(IOOperation& operation, int error) {
  AssertCondition(IsInIOCPThread(), "IsInIOCPThread()");
  AssertCondition(operation.m_operation == IOOperation::IO_TCP_StartDisconnect ||
                      operation.m_operation == IOOperation::IO_TCP_Disconnect ||
                      IsUserlandSocketOperationInProgress(),
                  "operation.m_operation == IOOperation::IO_TCP_StartDisconnect || "
                  "operation.m_operation == IOOperation::IO_TCP_Disconnect || "
                  "IsUserlandSocketOperationInProgress()");
  AssertCondition(IOOperation::IO_TCP_Invalid != operation.m_operation,
                  "IOOperation::IO_TCP_Invalid != operation.m_operation");
  AssertCondition(nullptr != GetManager(), "NULL != GetManager()");

  bool finished = true;
  switch (operation.m_operation) {
    case IOOperation::IO_TCP_StartConnect:
    case IOOperation::IO_TCP_Connect:
      finished = ConnectResponse(operation, error);
      break;
    case IOOperation::IO_TCP_Read:
    case IOOperation::IO_TCP_StartRead:
      finished = RecvResponse(operation, error);
      break;
    case IOOperation::IO_TCP_Write:
    case IOOperation::IO_TCP_StartWrite:
      finished = SendResponse(operation, error);
      break;
    default:
      // Accept and disconnect belong to paths this layer does not offer.
      operation.m_error = BRAMRESULT_NOT_ALLOWED;
      break;
  }
  if (finished) operation.Complete();
}

bool TCPSocket::ConnectResponse(IOOperation& operation, int error) {
  if (error != SOCKET_ERROR_NONE) return FinishWith(operation, error);
  if (operation.m_error != BRAMRESULT_OK) return true;
  asio::ip::tcp::socket& socket = m_socket->m_socket;
  asio::error_code failure;

  if (operation.m_operation == IOOperation::IO_TCP_StartConnect) {
    // Bound to any local address and port 0 first, as the connect call of
    // the platform requires.
    socket.bind(asio::ip::tcp::endpoint(asio::ip::address_v4::any(), 0), failure);
    if (failure) return FinishWith(operation, ErrorOf(failure));
    m_localaddress = FromEndpoint(socket.local_endpoint(failure));
    operation.m_operation = IOOperation::IO_TCP_Connect;
    operation.MarkPosted();
    IOOperation* issued = &operation;
    socket.async_connect(ToEndpoint(m_remoteaddress), [issued](const asio::error_code& result) {
      DeliverCompletion(*issued, 0, ErrorOf(result));
    });
    return false;
  }

  m_localaddress = FromEndpoint(socket.local_endpoint(failure));
  if (failure) return FinishWith(operation, ErrorOf(failure));
  operation.m_error = BRAMRESULT_OK;
  return true;
}

void TCPSocket::IssueReceive(IOOperation& operation) {
  operation.m_wsabuffer.m_pointer = operation.m_base + operation.m_done;
  operation.m_wsabuffer.m_length = operation.m_wanted - operation.m_done;
  IOOperation* issued = &operation;
  m_socket->m_socket.async_read_some(
      asio::buffer(operation.m_wsabuffer.m_pointer, operation.m_wsabuffer.m_length),
      [issued](const asio::error_code& result, std::size_t moved) {
        DeliverCompletion(*issued, static_cast<std::uint32_t>(moved), ErrorOf(result));
      });
}

void TCPSocket::IssueSend(IOOperation& operation) {
  operation.m_wsabuffer.m_pointer = operation.m_base + operation.m_done;
  operation.m_wsabuffer.m_length = operation.m_wanted - operation.m_done;
  IOOperation* issued = &operation;
  m_socket->m_socket.async_write_some(
      asio::buffer(operation.m_wsabuffer.m_pointer, operation.m_wsabuffer.m_length),
      [issued](const asio::error_code& result, std::size_t moved) {
        DeliverCompletion(*issued, static_cast<std::uint32_t>(moved), ErrorOf(result));
      });
}

void TCPSocket::Requeue(IOOperation& operation, std::int32_t start_type, const char* line) {
  operation.m_operation = start_type;
  LogPrintf("%s", line);
  std::this_thread::yield();
  operation.MarkPosted();
  IOOperation* posted = &operation;
  m_manager->GetPort().Post([posted] { DeliverCompletion(*posted, 0, SOCKET_ERROR_NONE); });
}

bool TCPSocket::RecvResponse(IOOperation& operation, int error) {
  AssertCondition(BRAMRESULT_OK == operation.m_error || SOCKET_ERROR_NONE == error,
                  "BRAMRESULT_OK == operation.m_error || ERROR_SUCCESS == error");
  operation.m_done += operation.m_bytes;
  if (operation.m_done == operation.m_wanted) {
    operation.m_error = BRAMRESULT_OK;
    return true;
  }
  if (operation.m_done > 0 && m_allowpartialreads) {
    operation.m_error = BRAMRESULT_PARTIAL_READ;
    return true;
  }
  if (operation.m_error != BRAMRESULT_OK) return true;
  if (error == SOCKET_ERROR_NONE) {
    if (operation.m_bytes == 0 && operation.m_operation == IOOperation::IO_TCP_Read) {
      operation.m_error = BRAMRESULT_ABORTED;  // the peer closed the connection
      return true;
    }
    operation.m_operation = IOOperation::IO_TCP_Read;
    operation.MarkPosted();
    IssueReceive(operation);
    return false;
  }
  if (error == SOCKET_ERROR_NO_BUFFERS) {
    Requeue(operation, IOOperation::IO_TCP_StartRead, "TCPSocket::RecvResponse> WSAENOBUFS!");
    return false;
  }
  return FinishWith(operation, error);
}

bool TCPSocket::SendResponse(IOOperation& operation, int error) {
  AssertCondition(BRAMRESULT_OK == operation.m_error || SOCKET_ERROR_NONE == error,
                  "BRAMRESULT_OK == operation.m_error || ERROR_SUCCESS == error");
  operation.m_done += operation.m_bytes;
  if (operation.m_done == operation.m_wanted) {
    operation.m_error = BRAMRESULT_OK;
    return true;
  }
  if (operation.m_error != BRAMRESULT_OK) return true;
  if (error == SOCKET_ERROR_NONE) {
    operation.m_operation = IOOperation::IO_TCP_Write;
    operation.MarkPosted();
    IssueSend(operation);
    return false;
  }
  if (error == SOCKET_ERROR_NO_BUFFERS) {
    Requeue(operation, IOOperation::IO_TCP_StartWrite, "TCPSocket::SendResponse> WSAENOBUFS!");
    return false;
  }
  return FinishWith(operation, error);
}

void TCPSocket::BeginUserlandOperation(int userlandOperationClass) {
  AssertCondition(userlandOperationClass >= 0 &&
                      userlandOperationClass != USERLAND_OPERATION_CLASS_MAX &&
                      userlandOperationClass < USERLAND_OPERATION_CLASS_MAX,
                  "userlandOperationClass != USERLAND_OPERATION_CLASS_MAX");
  AssertCondition(IsInUserlandThread(), "IsInUserlandThread()");
  const std::int64_t myThreadID = CurrentThreadNumber();
  const std::int64_t wasThreadID =
      m_currentUserlandThread[userlandOperationClass].exchange(myThreadID);
  AssertCondition(wasThreadID == -1 || wasThreadID == myThreadID,
                  "wasThreadID == -1 || wasThreadID == myThreadID");
  m_userlandcount[userlandOperationClass].fetch_add(1);
}

void TCPSocket::EndUserlandOperation(int userlandOperationClass) {
  AssertCondition(userlandOperationClass >= 0 &&
                      userlandOperationClass != USERLAND_OPERATION_CLASS_MAX &&
                      userlandOperationClass < USERLAND_OPERATION_CLASS_MAX,
                  "userlandOperationClass != USERLAND_OPERATION_CLASS_MAX");
  AssertCondition(m_currentUserlandThread[userlandOperationClass].load() == CurrentThreadNumber(),
                  "m_currentUserlandThread[userlandOperationClass] == ::GetCurrentThreadId()");
  const std::int32_t count = m_userlandcount[userlandOperationClass].fetch_sub(1) - 1;
  AssertCondition(count >= 0, "count >= 0");
  if (count == 0) m_currentUserlandThread[userlandOperationClass].store(-1);
}

bool TCPSocket::IsUserlandSocketOperationInProgress() const {
  for (int i = 0; i < USERLAND_OPERATION_CLASS_MAX; ++i) {
    if (m_currentUserlandThread[i].load() != -1) return true;
  }
  return false;
}

void TCPSocket::CloseAbortive() {
  if (m_socket == nullptr) return;
  RunOnWorker([this] {
    asio::ip::tcp::socket& socket = m_socket->m_socket;
    if (!socket.is_open()) return;
    asio::error_code ignored;
    socket.set_option(asio::socket_base::linger(true, 0), ignored);
    socket.close(ignored);
  });
}

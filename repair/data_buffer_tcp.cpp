#include "repair/data_buffer_tcp.h"

#include "repair/cp_socket_manager.h"
#include "repair/io_operation.h"
#include "repair/socket_error_map.h"
#include "repair/tcp_socket.h"

BramDataBufferTCP::BramDataBufferTCP() : m_socket(std::make_unique<TCPSocket>()) {
  CPSocketManager* manager = AcquireSocketManager(1);
  m_holdsmanager = true;
  m_socket->SetOwnerThread(CurrentThreadNumber());
  if (!m_socket->Create(manager)) m_socket.reset();
}

BramDataBufferTCP::~BramDataBufferTCP() {
  CloseAbortive();
  m_socket.reset();
  if (m_holdsmanager) ReleaseSocketManager();
}

BramResult BramDataBufferTCP::Connect(const BramSocketAddress& address) {
  if (m_socket == nullptr || m_connected.load()) return BRAMRESULT_NOT_OPEN;
  IOOperation operation;
  m_socket->BeginUserlandOperation(USERLAND_OPERATION_CLASS_READ);
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_socket->StartConnect(address, operation);
  }
  operation.WaitForCompletion();
  m_socket->EndUserlandOperation(USERLAND_OPERATION_CLASS_READ);
  m_connected.store(operation.m_error == BRAMRESULT_OK);
  return operation.m_error;
}

bool BramDataBufferTCP::IsConnected() const { return m_socket != nullptr && m_connected.load(); }

void BramDataBufferTCP::CloseAbortive() {
  m_connected.store(false);
  if (m_socket == nullptr) return;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  m_socket->CloseAbortive();
}

BramResult BramDataBufferTCP::SetSize(std::uint64_t /*size*/) { return BRAMRESULT_UNSUPPORTED; }

BramResult BramDataBufferTCP::SetPosition(std::uint64_t /*position*/) {
  return BRAMRESULT_UNSUPPORTED;
}

BramResult BramDataBufferTCP::WriteData(const void* bytes, std::uint32_t count) {
  if (m_socket == nullptr) return BRAMRESULT_NOT_OPEN;
  if (count == 0) return BRAMRESULT_OK;
  IOOperation operation;
  // The socket only reads the area of a write.
  operation.SetBuffer(const_cast<void*>(bytes), count);
  m_socket->BeginUserlandOperation(USERLAND_OPERATION_CLASS_WRITE);
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_socket->StartWrite(operation);
  }
  operation.WaitForCompletion();
  m_socket->EndUserlandOperation(USERLAND_OPERATION_CLASS_WRITE);
  return operation.m_error;
}

BramResult BramDataBufferTCP::ReadData(void* bytes, std::uint32_t count) {
  if (m_socket == nullptr) return BRAMRESULT_NOT_OPEN;
  if (count == 0) return BRAMRESULT_OK;
  IOOperation operation;
  operation.SetBuffer(bytes, count);
  m_socket->BeginUserlandOperation(USERLAND_OPERATION_CLASS_READ);
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_socket->StartRead(operation);
  }
  operation.WaitForCompletion();
  m_socket->EndUserlandOperation(USERLAND_OPERATION_CLASS_READ);
  if (operation.m_error == BRAMRESULT_OK || operation.m_error == BRAMRESULT_PARTIAL_READ) {
    m_received.fetch_add(operation.m_done);
  }
  return operation.m_error;
}

bool BramDataBufferTCP::IsOperationInProgress() const {
  return m_socket != nullptr && m_socket->IsUserlandSocketOperationInProgress();
}

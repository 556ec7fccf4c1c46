#include "repair/cp_socket_manager.h"

#include <asio/error.hpp>

#include <atomic>
#include <system_error>

#include "foundation/assert_condition.h"
#include "repair/io_completion_port.h"
#include "repair/io_operation.h"
#include "repair/socket_error_map.h"
#include "repair/tcp_socket.h"

namespace {

thread_local bool t_in_iocp_thread = false;
thread_local bool t_shutdown_taken = false;

std::mutex g_manager_lock;  // guards the two below
CPSocketManager* g_manager = nullptr;
int g_manager_references = 0;

}  // namespace

std::int64_t CurrentThreadNumber() {
  static std::atomic<std::int64_t> next{1};
  thread_local const std::int64_t number = next.fetch_add(1);
  return number;
}

bool IsInIOCPThread() { return t_in_iocp_thread; }

void IOCompletionPort::RunWorker() {
  t_in_iocp_thread = true;
  t_shutdown_taken = false;
  while (!t_shutdown_taken) m_context.run_one();
  t_in_iocp_thread = false;
}

void IOCompletionPort::PostShutdown() {
  Post([] { t_shutdown_taken = true; });
}

void DeliverCompletion(IOOperation& operation, std::uint32_t bytes, int platform_error) {
  TCPSocket* handler = operation.m_handler;
  AssertCondition(handler != nullptr, "handler != NULL");
  operation.MarkCaught();
  operation.m_bytes = bytes;
  handler->HandleCompletion(operation, platform_error);
}

int ToPlatformError(const asio::error_code& error) {
  if (!error || error == asio::error::eof) return SOCKET_ERROR_NONE;
  if (error == asio::error::operation_aborted) return SOCKET_ERROR_OPERATION_ABORTED;
  struct Pair {
    std::errc condition;
    int platform_error;
  };
  static const Pair TABLE[] = {
      {std::errc::connection_refused, SOCKET_ERROR_CONNECTION_REFUSED},
      {std::errc::connection_reset, SOCKET_ERROR_CONNECTION_RESET},
      {std::errc::broken_pipe, SOCKET_ERROR_CONNECTION_RESET},
      {std::errc::timed_out, SOCKET_ERROR_TIMED_OUT},
      {std::errc::network_down, SOCKET_ERROR_NETWORK_DOWN},
      {std::errc::network_unreachable, SOCKET_ERROR_NETWORK_UNREACHABLE},
      {std::errc::host_unreachable, SOCKET_ERROR_HOST_UNREACHABLE},
      {std::errc::bad_file_descriptor, SOCKET_ERROR_NOT_SOCKET},
      {std::errc::not_a_socket, SOCKET_ERROR_NOT_SOCKET},
      {std::errc::invalid_argument, SOCKET_ERROR_INVALID_ARGUMENT},
      {std::errc::connection_already_in_progress, SOCKET_ERROR_ALREADY},
      {std::errc::bad_address, SOCKET_ERROR_FAULT},
      {std::errc::address_family_not_supported, SOCKET_ERROR_AF_NOT_SUPPORTED},
      {std::errc::address_not_available, SOCKET_ERROR_ADDRESS_NOT_AVAILABLE},
      {std::errc::no_buffer_space, SOCKET_ERROR_NO_BUFFERS},
      {std::errc::connection_aborted, SOCKET_ERROR_CONNECTION_ABORTED},
      {std::errc::not_connected, SOCKET_ERROR_NOT_CONNECTED},
      {std::errc::operation_canceled, SOCKET_ERROR_OPERATION_ABORTED},
  };
  // Asio reports system errors in a category of its own whose values are
  // the system's errno values.
  const bool system = error.category() == asio::error::get_system_category() ||
                      error.category() == std::system_category() ||
                      error.category() == std::generic_category();
  if (!system) return SOCKET_ERROR_OTHER_BASE;
  for (const Pair& pair : TABLE) {
    if (error.value() == static_cast<int>(pair.condition)) return pair.platform_error;
  }
  if (error == asio::error::shut_down) return SOCKET_ERROR_SHUT_DOWN;
  return SOCKET_ERROR_OTHER_BASE + error.value();
}

CPWorkerThread::CPWorkerThread(CPSocketManager* manager)
    : m_manager(manager), m_thread([this] { m_manager->GetPort().RunWorker(); }) {}

CPWorkerThread::~CPWorkerThread() {
  if (m_thread.joinable()) m_thread.join();
}

CPSocketManager::CPSocketManager(int threads)
    : m_port(std::make_unique<IOCompletionPort>(threads < 1 ? 1 : threads)),
      m_workercount(threads < 1 ? 1 : threads) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  for (int i = 0; i < m_workercount; ++i) {
    m_workers.push_back(std::make_unique<CPWorkerThread>(this));
  }
}

CPSocketManager::~CPSocketManager() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  for (int i = 0; i < m_workercount; ++i) m_port->PostShutdown();
  m_workers.clear();  // each destructor waits for its thread
  m_port.reset();
}

CPSocketManager* AcquireSocketManager(int threads) {
  std::lock_guard<std::mutex> guard(g_manager_lock);
  if (g_manager_references++ == 0) g_manager = new CPSocketManager(threads);
  return g_manager;
}

void ReleaseSocketManager() {
  std::lock_guard<std::mutex> guard(g_manager_lock);
  if (g_manager_references == 0) return;
  if (--g_manager_references == 0) {
    delete g_manager;
    g_manager = nullptr;
  }
}

// Internal to the completion-port layer: the port as an Asio io_context. The
// workers run it; a posted function is a queued completion; an Asio
// completion handler is a completion taken off the port.
#pragma once

#include <asio/error_code.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <cstdint>
#include <utility>

class IOOperation;

class IOCompletionPort {
 public:
  explicit IOCompletionPort(int concurrency)
      : m_context(concurrency), m_work(asio::make_work_guard(m_context)) {}
  IOCompletionPort(const IOCompletionPort&) = delete;
  IOCompletionPort& operator=(const IOCompletionPort&) = delete;

  asio::io_context& Context() { return m_context; }

  // Queues `function` for a worker.
  template <typename Function>
  void Post(Function&& function) {
    asio::post(m_context, std::forward<Function>(function));
  }

  // The worker loop: handles completions until this thread takes a shutdown
  // signal off the port.
  void RunWorker();
  // Queues one shutdown signal (ends one worker).
  void PostShutdown();

 private:
  asio::io_context m_context;
  asio::executor_work_guard<asio::io_context::executor_type> m_work;
};

// A completion taken off the port: checks "handler != NULL", moves the
// operation to STATE_CAUGHT, records `bytes` and calls the handler's
// HandleCompletion with `platform_error`. Worker threads only.
void DeliverCompletion(IOOperation& operation, std::uint32_t bytes, int platform_error);

// The Winsock number of an Asio error (socket_error_map.h); 0 for success.
// End of stream is not an error here: the read that sees it moved 0 bytes.
int ToPlatformError(const asio::error_code& error);

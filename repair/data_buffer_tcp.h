// BramDataBufferTCP: one client TCP connection as a data buffer whose reads
// and writes block the calling thread until every requested byte has moved
// (or the operation failed). The bytes travel through the process's
// completion-port worker (cp_socket_manager.h, tcp_socket.h).
//
// Results: 0; 7 without a socket (its creation failed) or for a second
// Connect; 6 for SetSize and SetPosition; a failed socket operation's mapped
// platform error (socket_error_map.h), 13 when the peer closed the
// connection during a read. There is no time-out: a silent peer blocks a
// read until the connection is closed, which CloseAbortive does from any
// thread.
//
// One thread may read while another writes; two threads reading (or
// writing) at the same time trip an assertion.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "kit/data_buffer.h"
#include "repair/socket_address.h"

class TCPSocket;

class BramDataBufferTCP : public BramDataBuffer {
 public:
  // Takes a reference on the socket manager (one worker) and opens the
  // socket; without one every operation returns 7.
  BramDataBufferTCP();
  // Closes abortively and releases the manager. REQUIRES: no thread is
  // inside an operation of this buffer.
  ~BramDataBufferTCP() override;

  // Binds to any local address and port 0 and connects, blocking. 7 when
  // there is no socket or it is already connected (there is no reconnect).
  BramResult Connect(const BramSocketAddress& address);
  bool IsConnected() const;
  // Clears the connected flag and resets the connection (SO_LINGER 0):
  // operations waiting in other threads return with an error.
  void CloseAbortive();

  std::uint64_t GetSize() override { return 0; }
  BramResult SetSize(std::uint64_t size) override;
  // The bytes received so far.
  std::uint64_t GetPosition() override { return m_received.load(); }
  BramResult SetPosition(std::uint64_t position) override;
  // Both move exactly `count` bytes or fail; 0 at once for a count of 0.
  BramResult WriteData(const void* bytes, std::uint32_t count) override;
  BramResult ReadData(void* bytes, std::uint32_t count) override;
  void Flush() override {}

  // True while some thread is inside an operation of this buffer.
  bool IsOperationInProgress() const;

 private:
  std::recursive_mutex m_lock;  // serialises the posting of operations
  std::unique_ptr<TCPSocket> m_socket;
  std::atomic<std::uint64_t> m_received{0};
  bool m_partialreads = false;
  std::atomic<bool> m_connected{false};
  bool m_holdsmanager = false;
};

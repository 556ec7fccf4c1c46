// A scripted TCP peer on 127.0.0.1 for the repair tests: it listens on a
// free port, accepts one connection and runs a script on it (blocking Asio
// calls) on its own thread. The script must end by itself, which it does
// once the client closes the connection.
#pragma once

#include <asio/buffer.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "repair/socket_address.h"

namespace RepairTest {

using asio::ip::tcp;

class ScriptedPeer {
 public:
  using Script = std::function<void(tcp::socket&)>;

  explicit ScriptedPeer(Script script)
      : m_acceptor(m_context, tcp::endpoint(asio::ip::address_v4::loopback(), 0)),
        m_script(std::move(script)) {
    m_acceptor.async_accept([this](const asio::error_code& error, tcp::socket socket) {
      if (error) return;
      m_script(socket);
      asio::error_code ignored;
      socket.close(ignored);
    });
    m_thread = std::thread([this] { m_context.run(); });
  }

  // Stops listening (a connection never made is abandoned) and waits for
  // the script.
  ~ScriptedPeer() {
    asio::post(m_context, [this] {
      asio::error_code ignored;
      m_acceptor.close(ignored);
    });
    m_thread.join();
  }

  BramSocketAddress Address() const {
    return BramSocketAddress{BRAM_LOOPBACK_ADDRESS, m_acceptor.local_endpoint().port()};
  }

 private:
  asio::io_context m_context;
  tcp::acceptor m_acceptor;
  Script m_script;
  std::thread m_thread;
};

// A loopback port where nothing listens (taken free, then released).
inline BramSocketAddress UnusedLoopbackAddress() {
  asio::io_context context;
  tcp::acceptor probe(context, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  const std::uint16_t port = probe.local_endpoint().port();
  probe.close();
  return BramSocketAddress{BRAM_LOOPBACK_ADDRESS, port};
}

inline void SendBytes(tcp::socket& socket, const std::string& bytes) {
  asio::error_code ignored;
  asio::write(socket, asio::buffer(bytes), ignored);
}

// Reads exactly `count` bytes; "" when the connection ends first.
inline std::string ReceiveBytes(tcp::socket& socket, std::size_t count) {
  std::string bytes(count, '\0');
  asio::error_code error;
  asio::read(socket, asio::buffer(bytes), error);
  return error ? std::string() : bytes;
}

// Reads until the client closes the connection.
inline void DrainUntilClosed(tcp::socket& socket) {
  char sink[4096];
  asio::error_code error;
  while (!error) socket.read_some(asio::buffer(sink), error);
}

}  // namespace RepairTest

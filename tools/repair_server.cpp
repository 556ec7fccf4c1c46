#include "tools/repair_server.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/signal_set.hpp>

#include <csignal>
#include <cstdio>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/paths.h"
#include "tools/repair_server_reference.h"
#include "tools/repair_server_session.h"

namespace BramPatch {

namespace {

using asio::ip::tcp;

constexpr const char* SERVER_NAME = "omvel-repair-server";

std::mutex g_output_lock;

void Say(const std::string& line) {
  std::lock_guard<std::mutex> guard(g_output_lock);
  std::fprintf(stdout, "%s: %s\n", SERVER_NAME, line.c_str());
  std::fflush(stdout);
}

std::string PeerName(const tcp::socket& socket) {
  asio::error_code error;
  const tcp::endpoint peer = socket.remote_endpoint(error);
  if (error) return "(unknown peer)";
  return peer.address().to_string() + ":" + std::to_string(peer.port());
}

struct Session {
  std::shared_ptr<tcp::socket> socket;
  std::thread thread;
  std::shared_ptr<bool> finished;  // guarded by the server's session lock
};

class Server {
 public:
  Server(const RepairServerOptions& options)
      : m_options(options),
        m_reference(options.tree, options.exclusions),
        m_acceptor(m_context),
        m_signals(m_context, SIGINT, SIGTERM) {}

  int Run() {
    if (!IsDirectory(m_options.tree)) {
      std::fprintf(stderr, "%s: %s is no directory\n", SERVER_NAME, m_options.tree.c_str());
      return 1;
    }
    const std::size_t segments = m_reference.Refresh().size();
    asio::error_code error;
    const asio::ip::address_v4 address = asio::ip::make_address_v4(m_options.bind, error);
    if (!error) {
      const tcp::endpoint endpoint(address, m_options.port);
      m_acceptor.open(endpoint.protocol(), error);
      if (!error) m_acceptor.set_option(tcp::acceptor::reuse_address(true), error);
      if (!error) m_acceptor.bind(endpoint, error);
      if (!error) m_acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
      std::fprintf(stderr, "%s: cannot listen on %s:%u: %s\n", SERVER_NAME, m_options.bind.c_str(),
                   static_cast<unsigned>(m_options.port), error.message().c_str());
      return 1;
    }
    Say("listening on " + m_options.bind + ":" +
        std::to_string(m_acceptor.local_endpoint().port()) + " (" + std::to_string(segments) +
        " segments in " + m_options.tree + ")");

    m_signals.async_wait([this](const asio::error_code&, int) {
      asio::error_code ignored;
      m_acceptor.close(ignored);
    });
    Accept();
    m_context.run();
    Shutdown();
    Say("stopped");
    return 0;
  }

 private:
  void Accept() {
    m_acceptor.async_accept([this](const asio::error_code& error, tcp::socket socket) {
      if (error) return;  // closed by the signal handler
      Reap();
      if (m_sessions.size() >= m_options.max_clients) {
        Say(PeerName(socket) + ": turned away, " + std::to_string(m_sessions.size()) +
            " clients are being served");
      } else {
        Launch(std::make_shared<tcp::socket>(std::move(socket)));
      }
      Accept();
    });
  }

  void Launch(std::shared_ptr<tcp::socket> socket) {
    auto finished = std::make_shared<bool>(false);
    std::lock_guard<std::mutex> guard(m_sessionlock);
    m_sessions.push_back(Session{socket, std::thread([this, socket, finished] {
                                   const std::string peer = PeerName(*socket);
                                   const RepairSessionReport report =
                                       ServeRepairSession(*socket, m_reference);
                                   Report(peer, report);
                                   asio::error_code ignored;
                                   socket->shutdown(tcp::socket::shutdown_send, ignored);
                                   std::lock_guard<std::mutex> done(m_sessionlock);
                                   *finished = true;
                                 }),
                                 finished});
  }

  static void Report(const std::string& peer, const RepairSessionReport& report) {
    std::string line = peer + ": " + std::to_string(report.data_records) + " segments sent (" +
                       std::to_string(report.compressed_records) + " compressed), " +
                       std::to_string(report.empty_records) + " removals, " +
                       std::to_string(report.bytes_sent) + " bytes sent";
    if (!report.completed) line += "; ended early: " + report.failure;
    Say(line);
  }

  // Joins the sessions that are over.
  void Reap() {
    std::list<Session> over;
    {
      std::lock_guard<std::mutex> guard(m_sessionlock);
      for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (*it->finished) {
          over.splice(over.end(), m_sessions, it++);
        } else {
          ++it;
        }
      }
    }
    for (Session& session : over) session.thread.join();
  }

  // Ends every session: their sockets are shut down, which fails the
  // blocked reads and writes, and their threads are joined.
  void Shutdown() {
    std::list<Session> all;
    {
      std::lock_guard<std::mutex> guard(m_sessionlock);
      all.swap(m_sessions);
      for (Session& session : all) {
        asio::error_code ignored;
        session.socket->shutdown(tcp::socket::shutdown_both, ignored);
      }
    }
    for (Session& session : all) session.thread.join();
  }

  const RepairServerOptions m_options;
  RepairReference m_reference;
  asio::io_context m_context;
  tcp::acceptor m_acceptor;
  asio::signal_set m_signals;
  std::mutex m_sessionlock;
  std::list<Session> m_sessions;  // guarded by m_sessionlock
};

}  // namespace

int RunRepairServer(const RepairServerOptions& options) {
  Server server(options);
  return server.Run();
}

}  // namespace BramPatch

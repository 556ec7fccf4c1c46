// Helpers of the repair client tests: the real repair server as a child
// process on 127.0.0.1, the protocol's pieces for scripted peers, and a
// bounded run of the client.
#pragma once

#include <signal.h>

#include <asio/buffer.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "foundation/child_process.h"
#include "foundation/utf.h"
#include "kit/compressed_stream.h"
#include "kit/data_buffer_memory_dynamic.h"
#include "kit/data_buffer_memory_static.h"
#include "kit/little_endian.h"
#include "repair/agent_client.h"
#include "repair/file_tree_summary.h"
#include "repair/repair_protocol.h"
#include "repair/repair_test_peer.h"
#include "repair/segment_checksum.h"

namespace RepairTest {

// omvel-repair-server serving `tree` on a free loopback port; stopped with
// SIGTERM (then SIGKILL) when the object goes.
class RepairServerProcess {
 public:
  explicit RepairServerProcess(const std::string& tree, const std::string& extra = "") {
    m_child = StartChildProcess(std::string(OMVEL_BIN_DIR) + "/omvel-repair-server",
                                "--bind 127.0.0.1 --port 0 " + extra + " \"" + tree + "\"");
    if (m_child == nullptr) return;
    m_reader = std::thread([this] {
      std::string chunk;
      while (ReadChildOutput(m_child, chunk)) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_output += chunk;
        chunk.clear();
        m_changed.notify_all();
      }
      std::lock_guard<std::mutex> guard(m_lock);
      m_ended = true;
      m_changed.notify_all();
    });
    const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
    std::smatch match;
    if (WaitForOutput(listening, &match)) {
      m_address = BramSocketAddress{BRAM_LOOPBACK_ADDRESS,
                                    static_cast<std::uint16_t>(std::stoi(match[1].str()))};
    }
  }

  ~RepairServerProcess() {
    if (m_child == nullptr) return;
    Stop();
    if (m_reader.joinable()) m_reader.join();
    CloseChild(m_child);
    delete m_child;
  }

  bool IsListening() const { return m_address.m_port != 0; }
  BramSocketAddress Address() const { return m_address; }

  // SIGTERM, then waits (bounded) for the exit; true when it ended by itself.
  bool Stop() {
    if (m_stopped) return m_clean;
    m_stopped = true;
    kill(m_child->m_pid, SIGTERM);
    m_clean = WaitChild(m_child, 30000);
    if (!m_clean) {
      KillChild(m_child);
      WaitChild(m_child, CHILD_WAIT_INFINITE);
    }
    return m_clean;
  }
  int ExitCode() const { return ChildExitCode(m_child); }

  // Waits (bounded) until the output matches `pattern` or the server ended.
  bool WaitForOutput(const std::regex& pattern, std::smatch* match = nullptr) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait_for(lock, std::chrono::seconds(60),
                       [&] { return m_ended || std::regex_search(m_output, pattern); });
    m_matched = m_output;  // *match refers to this copy
    return match != nullptr ? std::regex_search(m_matched, *match, pattern)
                            : std::regex_search(m_matched, pattern);
  }

  std::string Output() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_output;
  }

 private:
  ChildProcess* m_child = nullptr;
  std::thread m_reader;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::string m_output;   // guarded by m_lock
  std::string m_matched;  // guarded by m_lock
  bool m_ended = false;   // guarded by m_lock
  bool m_stopped = false;
  bool m_clean = false;
  BramSocketAddress m_address;
};

struct RunOutcome {
  bool succeeded = false;
  int stage = -1;
  BramResult error = 0;
  std::uint32_t received = 0;
  std::uint32_t total = 0;
  float progress = -1;
};

// Waits (bounded) until the client's worker has returned.
inline bool WaitForClient(const BramAgentClient& client) {
  for (int i = 0; i < 12000 && client.IsRunning(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return !client.IsRunning();
}

inline RunOutcome Outcome(const BramAgentClient& client) {
  RunOutcome outcome;
  outcome.succeeded = client.Succeeded();
  outcome.stage = client.GetStage();
  outcome.error = client.GetError();
  outcome.received = client.GetReceivedCount();
  outcome.total = client.GetTotalCount();
  outcome.progress = client.GetRepairProgress();
  return outcome;
}

// Configures the client as the repair run does: checksum file
// root/repair.cks, the uninstaller excluded.
inline void Configure(BramAgentClient& client, const std::string& root,
                      const BramSocketAddress& server) {
  client.SetRootDirectory(root);
  client.SetChecksumFile(root + "/repair.cks");
  client.SetServerAddress(server);
  client.SetExclusions({root + "/unins000.exe"});
}

inline RunOutcome RunRepair(const std::string& root, const BramSocketAddress& server) {
  BramAgentClient client;
  Configure(client, root, server);
  client.Start();
  if (!WaitForClient(client)) return RunOutcome{};
  return Outcome(client);
}

// --- the protocol's pieces, for scripted peers ---

// Blocking reads from a peer's socket as a data buffer.
class PeerSocketBuffer : public BramDataBuffer {
 public:
  explicit PeerSocketBuffer(tcp::socket& socket) : m_socket(socket) {}
  BramResult ReadData(void* bytes, std::uint32_t count) override {
    asio::error_code error;
    asio::read(m_socket, asio::buffer(bytes, count), error);
    return error ? BRAMRESULT_ABORTED : BRAMRESULT_OK;
  }

 private:
  tcp::socket& m_socket;
};

inline std::string Le32(std::uint32_t value) {
  std::uint8_t raw[4];
  StoreLittleEndian32(raw, value);
  return std::string(reinterpret_cast<char*>(raw), 4);
}

// Answers the greeting with `answer` and reads the client's summary into
// *summary (when given). False when the client did not get that far.
inline bool AcceptClient(tcp::socket& socket, FileTreeSummary* summary,
                         std::uint32_t answer = REPAIR_GREETING) {
  if (ReceiveBytes(socket, 4) != Le32(REPAIR_GREETING)) return false;
  SendBytes(socket, Le32(answer));
  if (summary == nullptr) return true;
  PeerSocketBuffer buffer(socket);
  return summary->LoadSummary(buffer) == BRAMRESULT_OK;
}

// A record's fields up to and including the data length, which need not
// match any data.
inline std::string RecordHeader(bool compressed, const std::string& key, std::uint32_t checksum,
                                std::uint32_t length) {
  const std::u16string key16 = Utf8ToUtf16(key);
  return std::string(1, compressed ? '\1' : '\0') + Le32(static_cast<std::uint32_t>(key16.size())) +
         Utf16ToLeBytes(key16) + Le32(checksum) + Le32(length);
}

inline std::string RecordBytes(bool compressed, const std::string& key, std::uint32_t checksum,
                               const std::string& data) {
  return RecordHeader(compressed, key, checksum, static_cast<std::uint32_t>(data.size())) + data;
}

// A plain record carrying `data` with its true checksum.
inline std::string DataRecord(const std::string& key, const std::string& data) {
  return RecordBytes(false, key, ChecksumSegmentBytes(data.data(), data.size()), data);
}

inline std::string Compressed(const std::string& data) {
  auto source = BramDataBufferMemoryStatic::CopyOf(data);
  BramDataBufferMemoryDynamic packed;
  BramUtil::CompressData(packed, *source);
  return std::string(reinterpret_cast<const char*>(packed.GetData()), packed.GetSize());
}

inline std::string NoDataRecord(const std::string& key) { return RecordBytes(false, key, 0, ""); }

}  // namespace RepairTest

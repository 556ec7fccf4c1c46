// BramAgentClient: brings an installation in line with the repair server's
// copy, segment by segment. On its own worker thread it scans the
// installation into a FileTreeSummary (kept in the checksum file between
// runs), connects to the server, sends the summary and writes every segment
// the server returns into the installed files (repair-protocol.md).
//
// Calling order: the setters, Start, then poll the queries (from any
// thread, without a lock) until IsRunning is false; destroy the client to
// cancel a run that still goes. Start may be called again after a run.
//
// Everything from the server is checked before it is used: a record whose
// key is malformed or leaves the installation (path_guard.h), whose index
// or lengths exceed repair_protocol.h's limits, whose data does not
// decompress to at most one segment or does not match its checksum, fails
// the run (stage 5, error 3) and nothing of that record is written.
// Records for excluded files (the uninstaller, the checksum file) are read
// and left unwritten.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include "foundation/bram_result.h"
#include "repair/file_tree_summary.h"
#include "repair/socket_address.h"

class BramDataBufferTCP;
class BramAgentClientTask;

// Stages of a run. A run that fails stays at the stage it failed in.
constexpr int REPAIR_STAGE_CONFIGURED = 0;  // not started
constexpr int REPAIR_STAGE_STARTED = 1;
constexpr int REPAIR_STAGE_SCANNING = 2;    // scanning the installation
constexpr int REPAIR_STAGE_CONNECTING = 3;  // connecting and greeting the server
constexpr int REPAIR_STAGE_LISTING = 4;     // sending the summary, reading the count
constexpr int REPAIR_STAGE_RECEIVING = 5;   // receiving segments
constexpr int REPAIR_STAGE_FINISHED = 6;    // finished successfully

class BramAgentClient {
 public:
  BramAgentClient();
  // Cancels a running worker (closing the connection wakes a blocked read),
  // waits for it and releases everything. The worker stops at its next
  // segment or file boundary.
  ~BramAgentClient();
  BramAgentClient(const BramAgentClient&) = delete;
  BramAgentClient& operator=(const BramAgentClient&) = delete;

  // Each setter returns 7 while running; otherwise it stores its argument,
  // resets stage, done flag and error to 0 and returns 0.
  // The root must be longer than 4 UTF-16 code units, and neither its first
  // nor its last code unit may be '"' or above 127 (otherwise 5, nothing
  // stored).
  BramResult SetRootDirectory(const std::string& path);
  // The full path of the checksum file ("repair.cks" in the root); 5 when
  // empty.
  BramResult SetChecksumFile(const std::string& path);
  BramResult SetServerAddress(const BramSocketAddress& address);
  // Full paths (patterns with "*" allowed) of files never scanned nor
  // written; replaces the set.
  BramResult SetExclusions(const std::set<std::string>& exclusions);

  // Does nothing while running; otherwise stage 1, error 0, and the worker
  // starts.
  void Start();

  bool IsRunning() const { return m_running.load(); }
  // Not running, stage 6 and error 0.
  bool Succeeded() const;
  int GetStage() const { return m_stage.load(); }
  BramResult GetError() const { return m_error.load(); }
  std::uint32_t GetReceivedCount() const { return m_received.load(); }
  std::uint32_t GetTotalCount() const { return m_announced.load(); }
  // 0 to 1: 1 in stage 6; 0 up to stage 4 and while nothing is announced;
  // otherwise received / announced, at most 1.
  float GetRepairProgress() const;

 private:
  friend class BramAgentClientTask;

  void RunWorker();
  // The stages; each returns false when the run ends there (m_error set).
  bool Scan();
  bool ConnectAndGreet();
  bool ExchangeSummary();
  bool ReceiveSegments();
  bool Fail(BramResult error);

  void LoadChecksumFile();
  // Writes the summary to a temporary file beside the checksum file and
  // renames it over the checksum file, so that an interrupted save leaves
  // the previous file and a link at the checksum file's place is replaced,
  // never followed.
  void SaveChecksumFile();
  // True when a key's path ('\' separators) matches a scan exclusion.
  bool IsExcludedPath(std::string_view path) const;

  std::atomic<int> m_stage{REPAIR_STAGE_CONFIGURED};
  std::thread m_thread;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_done{false};
  std::atomic<BramResult> m_error{BRAMRESULT_OK};
  std::atomic<bool> m_cancel{false};
  // Written by the setters and Start only while no worker runs.
  std::string m_root;
  std::string m_checksumfile;
  BramSocketAddress m_serveraddress;
  std::set<std::string> m_exclusions;
  std::set<std::string> m_scanexclusions;  // relative to the root, '\' separators
  FileTreeSummary m_summary;
  std::unique_ptr<BramDataBufferTCP> m_connection;  // replaced by Start only
  std::atomic<std::uint32_t> m_announced{0};
  std::atomic<std::uint32_t> m_received{0};
};

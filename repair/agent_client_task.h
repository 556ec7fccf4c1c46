// BramAgentClientTask: one of the repair client's four segment slots. A slot
// receives one record from the connection (on the client's worker thread),
// decompresses it and writes it into the installation (on the slot's helper
// thread), so that receiving, decompressing and writing of consecutive
// segments overlap. The helper thread lives as long as the slot: it keeps
// its inflate and copy areas warm from segment to segment.
//
// The client drives the slots in a fixed rotation: ReceiveFile on slot i,
// WriteFileEnd on slot i + 1, WriteFileBegin on slot i + 2, so that at most
// one write runs at a time and segments are written in the order received.
// All calls but the helper's jobs come from the client's worker thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "kit/data_buffer_memory_dynamic.h"

class BramAgentClient;

class BramAgentClientTask {
 public:
  BramAgentClientTask() = default;
  // Waits for a job still running on the helper, then ends the helper.
  ~BramAgentClientTask();
  BramAgentClientTask(const BramAgentClientTask&) = delete;
  BramAgentClientTask& operator=(const BramAgentClientTask&) = delete;

  // Reads one record from the client's connection and checks it; a
  // compressed one starts decompressing on the helper. False (slot freed,
  // nothing kept) when the slot is busy, a read fails or the record breaks
  // a rule; true counts the segment as received.
  bool ReceiveFile(BramAgentClient& client);
  // Starts writing the slot's segment on the helper once its decompression
  // is over. True for a free slot or a write already begun; false (slot
  // freed) when decompression failed or a write is still running.
  bool WriteFileBegin();
  // Waits for the slot's write (beginning it first when needed) and frees
  // the slot. True for a free slot or a written segment.
  bool WriteFileEnd();

  bool IsFree() const { return m_owner == nullptr; }

 private:
  void ThreadedDecompress();
  bool WriteSegment();
  bool WriteData(const std::string& path, std::uint64_t offset);
  bool WriteNoData(const std::string& path, std::uint64_t offset);
  // Frees the slot: no owner, write not begun.
  void Release();
  // Runs `job` on the helper (started on first use); `flag` is set now and
  // cleared, under m_lock, when the job is over.
  void RunOnHelper(std::atomic<bool>& flag, std::function<void()> job);
  void WaitUntilClear(const std::atomic<bool>& flag);
  void HelperLoop();

  BramAgentClient* m_owner = nullptr;  // the client while the slot holds a segment
  std::string m_key;                   // the segment key
  std::uint32_t m_checksum = 0;        // 0: the segment has no data
  bool m_compressed = false;
  std::atomic<bool> m_decompressing{false};
  std::atomic<bool> m_writing{false};
  bool m_writebegun = false;
  std::atomic<bool> m_result{true};
  BramDataBufferMemoryDynamic m_plain;
  BramDataBufferMemoryDynamic m_compressedbuffer;

  std::mutex m_lock;  // guards m_job and m_stop; the flags change under it
  std::condition_variable m_changed;
  std::function<void()> m_job;
  bool m_stop = false;
  std::thread m_helper;
};

#include "foundation/database_block_peer.h"

#include <chrono>
#include <thread>

#include "foundation/database_block.h"
#include "foundation/log.h"
#include "foundation/process_alive.h"

DatabaseBlockPeer::DatabaseBlockPeer(DatabaseBlock& block) : m_block(block) {}

void DatabaseBlockPeer::Idle() {
  if (!m_block.IsAttached()) return;
  DatabaseBlock::MutexHold hold(m_block);
  if (!m_block.IsHost()) {
    const std::int32_t host = m_block.Read(DatabaseBlockField::HOST);
    if (host == DATABASE_BLOCK_NO_PROCESS || !IsProcessRunning(host)) {
      m_block.Write(DatabaseBlockField::HOST, m_block.ProcessId());
      m_block.SetHost(true);
    }
    return;
  }
  const std::int32_t owner = m_block.Read(DatabaseBlockField::OWNER);
  if (owner != DATABASE_BLOCK_NO_PROCESS && !IsProcessRunning(owner)) {
    LogPrintf("IPCIdle> clearing dead database owner (owner processID was %d)\n", owner);
    m_block.Write(DatabaseBlockField::OWNER, DATABASE_BLOCK_NO_PROCESS);
  }
  const std::int32_t requester = m_block.Read(DatabaseBlockField::REQUESTER);
  if (requester != DATABASE_BLOCK_NO_PROCESS && !IsProcessRunning(requester)) {
    LogPrintf("IPCIdle> clearing dead database requester (requester processID was %d)\n",
              requester);
    m_block.Write(DatabaseBlockField::REQUESTER, DATABASE_BLOCK_NO_PROCESS);
  }
}

bool DatabaseBlockPeer::WaitForOwnership(std::uint32_t timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (m_block.RequestOwnership()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(OWNERSHIP_POLL_MS));
    Idle();
  }
}

void DatabaseBlockPeer::ReleaseOwnership() {
  if (!m_block.IsAttached()) return;
  DatabaseBlock::MutexHold hold(m_block);
  if (m_block.Read(DatabaseBlockField::OWNER) == m_block.ProcessId()) {
    m_block.Write(DatabaseBlockField::OWNER, DATABASE_BLOCK_NO_PROCESS);
  }
}

void DatabaseBlockPeer::SuspendExclusive(bool suspended) {
  if (!m_block.IsAttached()) return;
  if (m_block.Read(DatabaseBlockField::EXCLUSIVE_HOLDER) == m_block.ProcessId()) {
    m_block.SetExclusiveSuspended(suspended);
  }
}

void DatabaseBlockPeer::AnnounceChange() {
  if (!m_block.IsAttached()) return;
  DatabaseBlock::MutexHold hold(m_block);
  m_block.Write(DatabaseBlockField::CHANGE_COUNT,
                m_block.Read(DatabaseBlockField::CHANGE_COUNT) + 1);
}

void DatabaseBlockPeer::PublishSharedValue(std::int32_t value) {
  if (m_block.IsAttached() && m_block.IsHost()) {
    m_block.Write(DatabaseBlockField::SHARED_VALUE, value);
  }
}

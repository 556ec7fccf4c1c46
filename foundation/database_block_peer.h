// The rules that the other programs of the product family follow on the
// ownership block, and that the patcher's results depend on: host
// take-over, clearing dead owners and requesters, waiting for ownership.
// The product stand-ins use this class; the patcher itself does not.
#pragma once

#include <cstdint>

class DatabaseBlock;

class DatabaseBlockPeer {
 public:
  static constexpr std::uint32_t OWNERSHIP_POLL_MS = 50;

  // REQUIRES: block is attached while the peer is used.
  explicit DatabaseBlockPeer(DatabaseBlock& block);

  // The periodic check. A process that is not host takes the block over
  // when the host field is -1 or names a process that no longer runs. The
  // host clears an owner or requester that no longer runs and logs
  // "IPCIdle> clearing dead database owner (owner processID was %d)" or
  // "... requester ...". Both under the mutex.
  void Idle();

  // Polls for ownership every 50 ms, running Idle between polls, until this
  // process owns the database (true) or timeout_ms have passed (false).
  bool WaitForOwnership(std::uint32_t timeout_ms);

  // Gives ownership up when this process has it.
  void ReleaseOwnership();

  // An exclusive holder lets others attach for a while (or stops that).
  void SuspendExclusive(bool suspended);

  // Announces a change of the database: the change count grows by one.
  void AnnounceChange();

  // The host publishes a value for the others; ignored when not host.
  void PublishSharedValue(std::int32_t value);

 private:
  DatabaseBlock& m_block;
};

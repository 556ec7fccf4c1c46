// One client of the repair server: the protocol of
// docs/formats/repair-protocol.md, server side, over a blocking socket.
#pragma once

#include <asio/ip/tcp.hpp>

#include <cstdint>
#include <string>

namespace BramPatch {

class RepairReference;

struct RepairSessionReport {
  bool completed = false;  // every announced record was sent
  std::uint32_t data_records = 0;
  std::uint32_t empty_records = 0;
  std::uint32_t compressed_records = 0;
  std::uint64_t bytes_sent = 0;
  std::string failure;  // why the session ended early
};

// Serves one connection to its end: answers the greeting, reads the
// client's summary, refreshes the reference and sends the records that make
// the client's tree equal to it. A record whose segment cannot be read any
// more ends the session (the client then fails rather than writing wrong
// data). Compression is used for a segment when it makes it smaller.
RepairSessionReport ServeRepairSession(asio::ip::tcp::socket& socket, RepairReference& reference);

}  // namespace BramPatch

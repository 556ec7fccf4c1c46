// The repair server: serves one reference build tree to repair clients on
// TCP (port 6000 unless told otherwise), each client on a thread of its
// own, until SIGTERM or SIGINT.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace BramPatch {

struct RepairServerOptions {
  std::string tree;                  // the reference build
  std::string bind = "0.0.0.0";      // IPv4 address to listen on
  std::uint16_t port = 6000;         // 0: any free port (the one taken is printed)
  std::set<std::string> exclusions;  // relative path patterns left out of the reference
  unsigned max_clients = 64;         // served at once; more are turned away
};

// Scans the tree, listens, prints "listening on <address>:<port>" and
// serves clients, printing one line per client (peer, records, bytes
// sent). Returns the process exit code: 0 after a signal, 1 when the tree
// is no directory or the address cannot be bound (the reason is printed to
// standard error).
int RunRepairServer(const RepairServerOptions& options);

}  // namespace BramPatch

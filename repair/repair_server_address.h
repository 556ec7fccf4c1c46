// Where the repair client finds its server: a host name built into the
// program, replaced by a setting of the form "host" or "host:port" when
// the installation has one, and resolved to an IPv4 address.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "repair/repair_protocol.h"
#include "repair/socket_address.h"

constexpr char REPAIR_SERVER_HOST[] = "repair.kestro.omvel.net";

struct RepairServerName {
  std::string host = REPAIR_SERVER_HOST;
  std::uint16_t port = REPAIR_SERVER_PORT;
};

// "host" (port 6000) or "host:port" with a port from 1 to 65535; spaces
// around the setting are ignored. False, *name untouched, for an empty host
// or a malformed port.
bool ParseRepairServerSetting(std::string_view setting, RepairServerName* name);

// The first IPv4 address the host resolves to (a numeric address resolves
// to itself), with the name's port, both in host byte order. False when the
// name has no IPv4 address. May block on the system's resolver.
bool ResolveRepairServer(const RepairServerName& name, BramSocketAddress* address);

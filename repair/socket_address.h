// An IPv4 endpoint as the completion-port layer and the repair client keep
// it: both fields in host byte order (swapped to network order only where a
// socket address is built).
#pragma once

#include <cstdint>

struct BramSocketAddress {
  std::uint32_t m_address = 0;  // 127.0.0.1 is 0x7F000001
  std::uint16_t m_port = 0;
};

constexpr std::uint32_t BRAM_LOOPBACK_ADDRESS = 0x7F000001;

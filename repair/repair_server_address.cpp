#include "repair/repair_server_address.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

bool ParseRepairServerSetting(std::string_view setting, RepairServerName* name) {
  setting = Trimmed(setting);
  const std::size_t colon = setting.rfind(':');
  std::string_view host = setting;
  std::uint32_t port = REPAIR_SERVER_PORT;
  if (colon != std::string_view::npos) {
    host = setting.substr(0, colon);
    const std::string_view digits = setting.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return false;
    port = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return false;
      port = port * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (port == 0 || port > 65535) return false;
  }
  if (host.empty() || host.find_first_of(" \t:") != std::string_view::npos) return false;
  name->host = std::string(host);
  name->port = static_cast<std::uint16_t>(port);
  return true;
}

bool ResolveRepairServer(const RepairServerName& name, BramSocketAddress* address) {
  asio::io_context context;
  asio::ip::tcp::resolver resolver(context);
  asio::error_code error;
  const auto results = resolver.resolve(asio::ip::tcp::v4(), name.host, "", error);
  if (error) return false;
  for (const auto& result : results) {
    const asio::ip::address found = result.endpoint().address();
    if (!found.is_v4()) continue;
    address->m_address = found.to_v4().to_uint();
    address->m_port = name.port;
    return true;
  }
  return false;
}

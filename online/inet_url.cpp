#include "online/inet_url.h"

#include "foundation/ascii_case.h"

namespace {

// Splits `text` at the first `separator`: *before and *after exclude it.
// Without one, *before is the whole text and *after is empty; returns whether
// the separator was found.
bool SplitFirst(std::string_view text, std::string_view separator, std::string_view* before,
                std::string_view* after) {
  const size_t at = text.find(separator);
  if (at == std::string_view::npos) {
    *before = text;
    *after = {};
    return false;
  }
  *before = text.substr(0, at);
  *after = text.substr(at + separator.size());
  return true;
}

}  // namespace

BramResult ParseURL(std::string_view url, BramURLParts* parts) {
  std::string_view scheme, rest;
  if (!SplitFirst(url, "://", &scheme, &rest)) {
    rest = url;
    scheme = {};
  }
  std::string_view user_info, host_and_path;
  if (!SplitFirst(rest, "@", &user_info, &host_and_path)) {
    host_and_path = rest;
    user_info = {};
  }
  std::string_view user, password;
  SplitFirst(user_info, ":", &user, &password);
  std::string_view host_and_port, path;
  SplitFirst(host_and_path, "/", &host_and_port, &path);
  std::string_view host, port_text;
  SplitFirst(host_and_port, ":", &host, &port_text);

  std::int64_t port = 0;
  for (char c : port_text) {
    if (c < '0' || c > '9') break;
    port = port * 10 + (c - '0');
    if (port > 65535) return BRAMRESULT_BAD_ADDRESS;
  }

  parts->m_scheme.clear();
  for (char c : scheme) parts->m_scheme.push_back(LowerAscii(c));
  parts->m_user = user;
  parts->m_password = password;
  parts->m_host = host;
  parts->m_port = static_cast<std::int32_t>(port);
  parts->m_path = path;
  if (parts->m_host.empty() || (!parts->m_password.empty() && parts->m_user.empty())) {
    return BRAMRESULT_BAD_ADDRESS;
  }

  if (parts->m_scheme.empty()) {
    if (port == INET_PORT_FTP) {
      parts->m_scheme = "ftp";
    } else if (port == INET_PORT_HTTP) {
      parts->m_scheme = "http";
    } else if (port == INET_PORT_HTTPS) {
      parts->m_scheme = "https";
    } else if (StartsWithNoCase(host, "ftp")) {
      parts->m_scheme = "ftp";
    } else if (StartsWithNoCase(host, "https")) {
      parts->m_scheme = "https";
    } else {
      parts->m_scheme = "http";
    }
  }
  return BRAMRESULT_OK;
}

std::int32_t EffectivePort(const BramURLParts& parts) {
  if (parts.m_port > 0) return parts.m_port;
  if (parts.m_scheme == "ftp") return INET_PORT_FTP;
  if (parts.m_scheme == "https") return INET_PORT_HTTPS;
  return INET_PORT_HTTP;
}

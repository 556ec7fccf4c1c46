// URLs of the transfer client: the split into scheme, user-info, host, port
// and path, and the defaults for a missing scheme or port. The split follows
// fixed rules of its own (first "://", first "@", first ":", first "/"), not
// RFC 3986, so that the URLs of existing catalogues and command lines keep
// the meaning they always had.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/bram_result.h"

constexpr std::int32_t INET_PORT_FTP = 21;
constexpr std::int32_t INET_PORT_HTTP = 80;
constexpr std::int32_t INET_PORT_HTTPS = 443;

struct BramURLParts {
  std::string m_scheme;  // lowercase; defaulted when the URL names none
  std::string m_user;
  std::string m_password;
  std::string m_host;
  std::int32_t m_port = 0;  // 0 when the URL names none
  std::string m_path;       // after the first '/' behind the host, without it

  bool operator==(const BramURLParts&) const = default;
};

// Splits `url` into *parts and defaults an empty scheme: port 21 gives
// "ftp", 80 "http", 443 "https"; else a host beginning with "ftp" gives
// "ftp", with "https" "https", with anything else "http" (letters compared
// without regard to case). The port is the value of the leading digits of
// the text after the host's first ':' (0 without digits).
// BRAMRESULT_BAD_ADDRESS when the host is empty, a password comes without a
// user name, or the port exceeds 65535; *parts is then unspecified.
BramResult ParseURL(std::string_view url, BramURLParts* parts);

// The port to connect to: the URL's, or the scheme's usual one when the URL
// names none (21 ftp, 80 http, 443 https).
std::int32_t EffectivePort(const BramURLParts& parts);

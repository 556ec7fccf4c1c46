// The error numbers of the transfer client's diagnostic lines. They are the
// numbers the Windows internet API uses for the same conditions, so that
// lines read the same on every platform and the FTP reconnect rule (after a
// reset or aborted connection) keeps its meaning.
#pragma once

#include <cstdint>

constexpr std::uint32_t INET_ERROR_TIMEOUT = 12002;
constexpr std::uint32_t INET_ERROR_EXTENDED = 12003;  // the server refused: its reply said why
constexpr std::uint32_t INET_ERROR_INTERNAL = 12004;
constexpr std::uint32_t INET_ERROR_INVALID_URL = 12005;
constexpr std::uint32_t INET_ERROR_NAME_NOT_RESOLVED = 12007;
constexpr std::uint32_t INET_ERROR_LOGIN_FAILURE = 12015;
constexpr std::uint32_t INET_ERROR_OPERATION_CANCELLED = 12017;
constexpr std::uint32_t INET_ERROR_CANNOT_CONNECT = 12029;
constexpr std::uint32_t INET_ERROR_CONNECTION_ABORTED = 12030;
constexpr std::uint32_t INET_ERROR_CONNECTION_RESET = 12031;
constexpr std::uint32_t INET_ERROR_INVALID_CA = 12045;
constexpr std::uint32_t INET_ERROR_HEADER_NOT_FOUND = 12150;
constexpr std::uint32_t INET_ERROR_INVALID_SERVER_RESPONSE = 12152;
constexpr std::uint32_t INET_ERROR_REDIRECT_FAILED = 12156;
constexpr std::uint32_t INET_ERROR_SECURE_CHANNEL = 12157;

// The error number for a failed libcurl transfer: `curl_code` is its
// CURLcode, `os_errno` the value of CURLINFO_OS_ERRNO (the socket error
// behind a failed send, receive or connect; 0 when there was none).
std::uint32_t InetErrorFromCurl(int curl_code, long os_errno);

// The platform errors of socket operations, numbered as Winsock numbers
// them, and their result codes. The Asio layer translates its error codes
// into these numbers (tcp_socket.cpp), so that log lines and callers see the
// same values on every platform.
#pragma once

#include "foundation/bram_result.h"

constexpr int SOCKET_ERROR_NONE = 0;
constexpr int SOCKET_ERROR_NETNAME_DELETED = 64;
constexpr int SOCKET_ERROR_OPERATION_ABORTED = 995;
constexpr int SOCKET_ERROR_IO_PENDING = 997;
constexpr int SOCKET_ERROR_FAULT = 10014;
constexpr int SOCKET_ERROR_INVALID_ARGUMENT = 10022;
constexpr int SOCKET_ERROR_ALREADY = 10037;
constexpr int SOCKET_ERROR_NOT_SOCKET = 10038;
constexpr int SOCKET_ERROR_AF_NOT_SUPPORTED = 10047;
constexpr int SOCKET_ERROR_ADDRESS_NOT_AVAILABLE = 10049;
constexpr int SOCKET_ERROR_NETWORK_DOWN = 10050;
constexpr int SOCKET_ERROR_NETWORK_UNREACHABLE = 10051;
constexpr int SOCKET_ERROR_CONNECTION_ABORTED = 10053;
constexpr int SOCKET_ERROR_CONNECTION_RESET = 10054;
constexpr int SOCKET_ERROR_NO_BUFFERS = 10055;
constexpr int SOCKET_ERROR_NOT_CONNECTED = 10057;
constexpr int SOCKET_ERROR_SHUT_DOWN = 10058;
constexpr int SOCKET_ERROR_TIMED_OUT = 10060;
constexpr int SOCKET_ERROR_CONNECTION_REFUSED = 10061;
constexpr int SOCKET_ERROR_HOST_UNREACHABLE = 10065;
constexpr int SOCKET_ERROR_NOT_INITIALISED = 10093;
// Errors without a Winsock number: this base plus the system's errno.
constexpr int SOCKET_ERROR_OTHER_BASE = 100000;

// Result 14 of a read that ended early because partial reads were allowed.
// It never occurs in this system (partial reads are always off).
constexpr BramResult BRAMRESULT_PARTIAL_READ = 14;

// 0 -> 0; network name deleted, network down or unreachable, connection
// reset, timed out, host unreachable -> 3; operation aborted -> 13; bad
// address, family not supported, address not available -> 5; invalid
// argument, already in progress, not a socket, not initialised -> 7;
// connection refused -> 12; anything else -> 11.
BramResult MapSocketError(int platform_error);

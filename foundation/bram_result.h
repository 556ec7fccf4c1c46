// Result codes of the maker library: one shared 32-bit set. Operations return
// one of these; callers pass on the codes they do not handle unchanged.
#pragma once

#include <cstdint>

using BramResult = std::uint32_t;

constexpr BramResult BRAMRESULT_OK = 0;
constexpr BramResult BRAMRESULT_NOT_ALLOWED = 1;      // not allowed in this access mode, or not supported
constexpr BramResult BRAMRESULT_IO_FAILURE = 2;       // file I/O failure
constexpr BramResult BRAMRESULT_TRANSFER_FAILED = 3;  // a transfer step failed
constexpr BramResult BRAMRESULT_NOT_FOUND = 4;        // no matching package record, or a directory cannot be listed
constexpr BramResult BRAMRESULT_BAD_ADDRESS = 5;      // malformed URL, bad address or missing setting
constexpr BramResult BRAMRESULT_UNSUPPORTED = 6;      // no package in the file, or an operation a stream does not support
constexpr BramResult BRAMRESULT_NOT_OPEN = 7;         // no open file or no connected socket
constexpr BramResult BRAMRESULT_END_OF_DATA = 8;      // end of data
constexpr BramResult BRAMRESULT_FAILURE = 9;          // block full, out of memory, zlib error
constexpr BramResult BRAMRESULT_BAD_FORMAT = 10;      // unsupported URL scheme, bad summary magic, repair greeting mismatch
constexpr BramResult BRAMRESULT_NETWORK_ERROR = 11;   // other network error
constexpr BramResult BRAMRESULT_REFUSED = 12;         // connection refused
constexpr BramResult BRAMRESULT_ABORTED = 13;         // aborted by the caller's callback, peer closed, operation aborted

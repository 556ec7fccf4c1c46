// The transfer client: fetches the one resource a URL names into a data
// buffer, or asks for its size, over http, https or ftp. Synchronous, on the
// calling thread. Failed attempts are repeated (see below) one pause of
// BramInetTimeouts::m_retry_wait_ms (1000 ms) apart; every failure writes
// one diagnostic line and nothing reaches the user.
//
// URLs: see ParseURL (online/inet_url.h). An ftp URL connects to its port,
// 21 when it names none; http to 80 and https to 443 by default.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/bram_result.h"
#include "online/http_transfer.h"

class BramDataBuffer;
class DownloadURLCallback;

// Attempts of one call: the first and up to this many more after failures.
constexpr int DOWNLOAD_URL_ATTEMPTS = 11;
constexpr int GET_URL_SIZE_HTTP_ATTEMPTS = 11;
constexpr int GET_URL_SIZE_FTP_ATTEMPTS = 5;

// Fetches `url` into `buffer` at its position. `flags` bit 0
// (DOWNLOAD_FLAG_NO_CACHE) makes an HTTP request bypass caches and fill
// none. `callback` (may be null) is asked before each chunk and after each
// failed attempt; true stops the call with 13. `max_bytes` (0: any) is the
// largest resource accepted; a longer one fails with 3 without a retry.
//
// http, https: a failed attempt leaves no bytes behind: the buffer is cut
// back to its size and position at the call's start before the next
// attempt. After success it holds exactly the body from that position on
// (a longer leftover tail is cut off), so it must be able to change its size.
// ftp: the buffer's existing bytes are taken as the start of the file and
// every attempt resumes at its size; what arrived stays after a failure.
//
// Results: 0; 5 malformed URL and 10 unsupported scheme (no attempt, no
// line); 3 a failed transfer step (an HTTP status of 400 or more included);
// 13 cancelled; 7 an FTP step without connection; a failed WriteData's
// result, passed on.
BramResult DownloadURL(const std::string& url, BramDataBuffer& buffer, std::int32_t flags,
                       DownloadURLCallback* callback, std::uint64_t max_bytes = 0);

// Sets *size to 0, then to the size of the resource `url` names: the
// Content-Length of an HTTP answer (whose body is not read), or the size an
// FTP server reports. Results as for DownloadURL; it cannot be cancelled.
BramResult GetURLSize(const std::string& url, std::uint64_t* size);

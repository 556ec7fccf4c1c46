// One HTTP or HTTPS attempt of the transfer client: a GET whose body goes to
// a buffer, or whose headers give the resource's size. Every failure writes
// one diagnostic line. Internal to online/; DownloadURL and GetURLSize
// repeat these.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/bram_result.h"

class BramDataBuffer;
class DownloadURLCallback;
struct BramURLParts;

struct InetAttempt {
  BramResult m_result = BRAMRESULT_OK;
  bool m_final = false;  // a failure that another attempt would only repeat
};

// Download flag bit 0: the request bypasses caches on the way and fills none.
constexpr std::int32_t DOWNLOAD_FLAG_NO_CACHE = 1;

// GETs the resource of `parts` (`url` is its text, for the lines) and writes
// the body at the buffer's position, chunk by chunk. A status of 400 or
// more is a failure (3) before any byte is stored; redirects are followed
// from http to http or https and from https to https only. `origin` is the
// buffer position of the body's first byte, `max_bytes` the largest body
// accepted (0: any); a longer one fails finally with 3. A cancel through
// `callback` gives 13, a failed WriteData its result. On failure the buffer
// may hold part of the body: the caller rewinds it.
InetAttempt HttpFetchAttempt(const BramURLParts& parts, const std::string& url,
                             BramDataBuffer& buffer, std::int32_t flags,
                             DownloadURLCallback* callback, std::uint64_t origin,
                             std::uint64_t max_bytes);

// GETs the resource's headers and stops before the body: *size is the
// Content-Length of the final response. 3 when it has none, when its status
// is 400 or more, or when the request fails.
InetAttempt HttpSizeAttempt(const BramURLParts& parts, const std::string& url, std::uint64_t* size);

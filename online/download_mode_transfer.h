// The transfer client as the download loop uses it: one forwarding class
// whose calls go to DownloadURL and GetURLSize (online/download_url.h).
// Tests derive from it to inject a fault into one call and forward the rest.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/bram_result.h"

class BramDataBuffer;
class DownloadURLCallback;

namespace BramPatch {

class DownloadModeTransfer {
 public:
  virtual ~DownloadModeTransfer() = default;

  // DownloadURL (url, buffer, flags, callback, max_bytes).
  virtual BramResult Download(const std::string& url, BramDataBuffer& buffer, std::int32_t flags,
                              DownloadURLCallback* callback, std::uint64_t max_bytes);
  // GetURLSize (url, size).
  virtual BramResult QuerySize(const std::string& url, std::uint64_t* size);

  // The real client, shared by everyone who passes no other.
  static DownloadModeTransfer& Real();
};

}  // namespace BramPatch

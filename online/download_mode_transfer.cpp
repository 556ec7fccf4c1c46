#include "online/download_mode_transfer.h"

#include "online/download_url.h"

namespace BramPatch {

BramResult DownloadModeTransfer::Download(const std::string& url, BramDataBuffer& buffer,
                                          std::int32_t flags, DownloadURLCallback* callback,
                                          std::uint64_t max_bytes) {
  return DownloadURL(url, buffer, flags, callback, max_bytes);
}

BramResult DownloadModeTransfer::QuerySize(const std::string& url, std::uint64_t* size) {
  return GetURLSize(url, size);
}

DownloadModeTransfer& DownloadModeTransfer::Real() {
  static DownloadModeTransfer real;  // stateless
  return real;
}

}  // namespace BramPatch

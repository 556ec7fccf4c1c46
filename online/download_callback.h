// The caller's way to stop a running transfer between two chunks.
#pragma once

class DownloadURLCallback {
 public:
  virtual ~DownloadURLCallback() = default;
  // Called on the transferring thread before each chunk of at most 16384
  // bytes is stored, and after a failed attempt before the next one. True
  // stops the transfer: the call returns BRAMRESULT_ABORTED.
  virtual bool IsCancelled() = 0;
};

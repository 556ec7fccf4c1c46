// The download loop's cancel query for the transfer client: asked before
// every chunk of a transfer and after each failed attempt.
#pragma once

#include <functional>

#include "online/download_callback.h"

namespace BramPatch {

class PatchDownloadCallback : public DownloadURLCallback {
 public:
  // `cancel_requested` reads the window's cancel-requested flag (may be
  // empty). Called on the transferring thread; it must not block.
  // The engine's keep-going predicate (engine/patch_callbacks.h) is taken
  // as it stands now.
  explicit PatchDownloadCallback(std::function<bool()> cancel_requested);

  // True once `cancel_requested` says so, or once the keep-going predicate,
  // when one was registered, says stop: that also covers a worker being
  // destroyed with its window.
  bool IsCancelled() override;

 private:
  std::function<bool()> m_cancel_requested;
  std::function<bool()> m_keep_going;
};

}  // namespace BramPatch

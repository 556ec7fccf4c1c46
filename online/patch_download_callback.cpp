#include "online/patch_download_callback.h"

#include "engine/patch_callbacks.h"

namespace BramPatch {

PatchDownloadCallback::PatchDownloadCallback(std::function<bool()> cancel_requested)
    : m_cancel_requested(std::move(cancel_requested)),
      m_keep_going(GetPatchCallbacks().m_keepGoing) {}

bool PatchDownloadCallback::IsCancelled() {
  if (m_cancel_requested && m_cancel_requested()) return true;
  return m_keep_going && !m_keep_going();
}

}  // namespace BramPatch

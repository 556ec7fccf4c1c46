// How the download loop reaches the user: the message sink of the engine's
// hooks (engine/patch_callbacks.h), which the application registers. A text
// posted while no sink is registered is lost.
#pragma once

#include <string>

#include "engine/patch_callbacks.h"

namespace BramPatch {

inline void PostDownloadText(int kind, const std::string& text) {
  const PatchPostText post = GetPatchCallbacks().m_postText;
  if (post) post(kind, text);
}

}  // namespace BramPatch

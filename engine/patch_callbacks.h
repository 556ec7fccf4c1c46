// The three hooks of the file patch engine, process-wide: told the number of
// entries before the first phase, asked before every entry whether to go on,
// and handed every text the engine posts. The application registers them
// once at start-up; each slot may be empty, and is tested before every call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace BramPatch {

// total: the entries of all three manifests together.
using PatchProgressRange = std::function<void(std::uint64_t total)>;
// False: stop the patch (it is rolled back).
using PatchKeepGoing = std::function<bool()>;
// kind: TEXT_KIND_NORMAL, TEXT_KIND_SECONDARY or TEXT_KIND_ERROR
// (text/text_kind.h); text: UTF-8.
using PatchPostText = std::function<void(int kind, const std::string& text)>;

// Stores the three hooks, replacing earlier ones; always true. Callable from
// any thread; a patch already running keeps the hooks it started with.
bool SetPatchCallbacks(PatchProgressRange progress_range, PatchKeepGoing keep_going,
                       PatchPostText post_text);

// The hooks as they stand now (copies).
struct PatchCallbacks {
  PatchProgressRange m_progressRange;
  PatchKeepGoing m_keepGoing;
  PatchPostText m_postText;
};
PatchCallbacks GetPatchCallbacks();

}  // namespace BramPatch

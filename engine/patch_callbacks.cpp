#include "engine/patch_callbacks.h"

#include <mutex>

namespace BramPatch {

namespace {

std::mutex& CallbacksLock() {
  static std::mutex lock;
  return lock;
}

// Guarded by CallbacksLock().
PatchCallbacks& Slots() {
  static PatchCallbacks slots;
  return slots;
}

}  // namespace

bool SetPatchCallbacks(PatchProgressRange progress_range, PatchKeepGoing keep_going,
                       PatchPostText post_text) {
  std::lock_guard<std::mutex> guard(CallbacksLock());
  Slots() = {std::move(progress_range), std::move(keep_going), std::move(post_text)};
  return true;
}

PatchCallbacks GetPatchCallbacks() {
  std::lock_guard<std::mutex> guard(CallbacksLock());
  return Slots();
}

}  // namespace BramPatch

// The replaced global allocation and release operators, every standard form.
// All of them allocate from and release to the C runtime heap (malloc,
// posix_memalign, free), so no block reaches a heap other than its own,
// whichever form released it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "alloctrack/allocation_record.h"
#include "alloctrack/allocation_tracker_internal.h"
#include "foundation/call_stack.h"

namespace {

// One attempt at the runtime heap; null when it has no memory.
void* HeapAllocate(std::size_t size, std::size_t alignment) noexcept {
  if (size == 0) size = 1;  // every allocation is a distinct block
  if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
  void* block = nullptr;
  return posix_memalign(&block, alignment, size) == 0 ? block : nullptr;
}

// As the standard asks of the throwing forms: retry through the new-handler
// while there is one, then throw.
void* HeapAllocateOrThrow(std::size_t size, std::size_t alignment) {
  for (;;) {
    if (void* block = HeapAllocate(size, alignment)) return block;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void* HeapAllocateOrNull(std::size_t size, std::size_t alignment) noexcept {
  try {
    return HeapAllocateOrThrow(size, alignment);
  } catch (...) {
    return nullptr;
  }
}

// REQUIRES: inlined into the operator (always_inline), so that the capture's
// frame ALLOCATION_TRACKER_FRAMES is the operator's caller.
[[gnu::always_inline]] inline void* NewBlock(std::size_t size, std::size_t alignment,
                                             bool nothrow) {
  if (TrackerBypasses()) {
    return nothrow ? HeapAllocateOrNull(size, alignment) : HeapAllocateOrThrow(size, alignment);
  }
  std::uintptr_t frames[ALLOCATION_FRAME_LIMIT];
  const int count = CaptureCallStack(frames, ALLOCATION_FRAME_LIMIT);
  void* block =
      nothrow ? HeapAllocateOrNull(size, alignment) : HeapAllocateOrThrow(size, alignment);
  if (block != nullptr) TrackerRecord(block, size, frames, count);
  return block;
}

// REQUIRES: inlined into the operator, as NewBlock.
[[gnu::always_inline]] inline void DeleteBlock(void* block) noexcept {
  if (block == nullptr) return;
  if (!TrackerBypasses() && !TrackerForget(block)) {
    std::uintptr_t frames[ALLOCATION_FRAME_LIMIT];
    const int count = CaptureCallStack(frames, ALLOCATION_FRAME_LIMIT);
    TrackerReportUnknown(block, frames, count);
  }
  std::free(block);
}

constexpr std::size_t PLAIN = 0;

std::size_t Alignment(std::align_val_t alignment) { return static_cast<std::size_t>(alignment); }

}  // namespace

// noinline keeps each operator a frame of its own even under link-time
// optimisation.
[[gnu::noinline]] void* operator new(std::size_t size) { return NewBlock(size, PLAIN, false); }
[[gnu::noinline]] void* operator new[](std::size_t size) { return NewBlock(size, PLAIN, false); }
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return NewBlock(size, PLAIN, true);
}
[[gnu::noinline]] void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return NewBlock(size, PLAIN, true);
}
[[gnu::noinline]] void* operator new(std::size_t size, std::align_val_t alignment) {
  return NewBlock(size, Alignment(alignment), false);
}
[[gnu::noinline]] void* operator new[](std::size_t size, std::align_val_t alignment) {
  return NewBlock(size, Alignment(alignment), false);
}
[[gnu::noinline]] void* operator new(std::size_t size, std::align_val_t alignment,
                                     const std::nothrow_t&) noexcept {
  return NewBlock(size, Alignment(alignment), true);
}
[[gnu::noinline]] void* operator new[](std::size_t size, std::align_val_t alignment,
                                       const std::nothrow_t&) noexcept {
  return NewBlock(size, Alignment(alignment), true);
}

[[gnu::noinline]] void operator delete(void* block) noexcept { DeleteBlock(block); }
[[gnu::noinline]] void operator delete[](void* block) noexcept { DeleteBlock(block); }
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept { DeleteBlock(block); }
[[gnu::noinline]] void operator delete[](void* block, std::size_t) noexcept { DeleteBlock(block); }
[[gnu::noinline]] void operator delete(void* block, const std::nothrow_t&) noexcept {
  DeleteBlock(block);
}
[[gnu::noinline]] void operator delete[](void* block, const std::nothrow_t&) noexcept {
  DeleteBlock(block);
}
[[gnu::noinline]] void operator delete(void* block, std::align_val_t) noexcept {
  DeleteBlock(block);
}
[[gnu::noinline]] void operator delete[](void* block, std::align_val_t) noexcept {
  DeleteBlock(block);
}
[[gnu::noinline]] void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
  DeleteBlock(block);
}
[[gnu::noinline]] void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
  DeleteBlock(block);
}
[[gnu::noinline]] void operator delete(void* block, std::align_val_t,
                                       const std::nothrow_t&) noexcept {
  DeleteBlock(block);
}
[[gnu::noinline]] void operator delete[](void* block, std::align_val_t,
                                         const std::nothrow_t&) noexcept {
  DeleteBlock(block);
}

// Per-thread work areas for bulk transfers (copy steps, inflate pieces,
// checksum reads). Memory touched for the first time is slow on the target
// machines, so each thread keeps its areas and reuses them from call to call
// instead of allocating a fresh one per file.
#pragma once

#include <cstddef>
#include <cstdint>

enum class ScratchSlot { COPY, INFLATE_INPUT, INFLATE_OUTPUT, CHECKSUM, COUNT };

// An area of at least `size` bytes owned by the calling thread, or nullptr
// when memory cannot be obtained. Valid until the next call for the same slot
// on the same thread; its bytes are not preserved across calls. Callers never
// nest two uses of one slot.
std::uint8_t* GetScratchArea(ScratchSlot slot, std::size_t size);

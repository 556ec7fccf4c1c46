// Chunked copy between two data buffers.
#pragma once

#include <cstdint>

#include "foundation/bram_result.h"

class BramDataBuffer;

namespace BramUtil {

// Copies `count` bytes from source's position to destination's position in
// steps of at most 128 KiB, so a copy never holds the whole payload.
// Returns BRAMRESULT_OK, the first failing ReadData or WriteData result
// (both buffers then stand where that call left them), or
// BRAMRESULT_FAILURE when no transfer area can be obtained.
BramResult CopyData(BramDataBuffer& destination, BramDataBuffer& source, std::uint64_t count);

}  // namespace BramUtil

// The compressed stream: the container every patch archive is built from.
// Layout, limits and error behaviour are described in
// docs/formats/compressed-stream.md.
//
//   u32 block count N, then N times: u32 compressed length c,
//   u32 uncompressed length u, c bytes of one zlib stream inflating to u bytes.
//
// All integers little-endian. The data is the concatenation of the blocks.
#pragma once

#include <cstdint>

#include "foundation/bram_result.h"

class BramDataBuffer;

// The writer cuts its source into blocks of at most this many bytes.
constexpr std::uint32_t BRAMUTIL_MAX_BLOCK_SIZE = 1u << 28;

// The most a compressed block may take for `u` uncompressed bytes: the output
// area the writer gives zlib. Blocks that claim more are refused.
constexpr std::uint64_t BramUtilCompressedBound(std::uint64_t u) {
  return u + u / 4096 + u / 16384 + 11;
}

namespace BramUtil {

// Writes source's bytes from its position to its end as one compressed stream
// at destination's position, then leaves destination positioned at its size.
// Results: BRAMRESULT_OK; BRAMRESULT_FAILURE when memory cannot be obtained
// or zlib fails (both logged); or the first failing ReadData/WriteData/
// SetPosition result. On failure the stream's count still tells the blocks
// written before the failing one whenever destination accepts that write.
BramResult CompressData(BramDataBuffer& destination, BramDataBuffer& source);

// Reads one compressed stream at source's position and writes its data at
// destination's position. Memory stays bounded whatever the lengths claim:
// blocks inflate in pieces into per-thread work areas.
// Results: BRAMRESULT_OK; a failing ReadData result (truncated stream,
// logged); BRAMRESULT_FAILURE for a block whose lengths exceed the limits or
// whose zlib data is damaged (logged); BRAMRESULT_END_OF_DATA when a block
// inflates to another length than it states; or a failing WriteData result.
// On failure destination holds the data of the blocks before the failing one
// and, when that block is longer than one inflate piece (1 MiB), possibly a
// prefix of it; a failing block of up to 1 MiB writes nothing.
BramResult DecompressData(BramDataBuffer& destination, BramDataBuffer& source);

}  // namespace BramUtil

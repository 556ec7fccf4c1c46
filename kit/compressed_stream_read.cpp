#include "kit/compressed_stream.h"

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <memory>
#include <new>

#include "foundation/log.h"
#include "kit/data_buffer.h"
#include "kit/little_endian.h"
#include "kit/scratch_area.h"

namespace BramUtil {

namespace {

// Pieces of a block in memory at a time, whatever the block claims.
constexpr std::uint32_t INFLATE_INPUT_PIECE = 256 * 1024;
constexpr std::uint32_t INFLATE_OUTPUT_PIECE = 1024 * 1024;

thread_local std::unique_ptr<inflate_state> t_inflate_state;

inflate_state* InflateState() {
  if (!t_inflate_state) t_inflate_state.reset(new (std::nothrow) inflate_state);
  return t_inflate_state.get();
}

BramResult ReadFailed(BramResult result) {
  LogPrintf("BramUtil::DecompressData> ReadData returned %d", static_cast<int>(result));
  return result;
}

// Damaged zlib data: reported with zlib's code for it, as the stream's
// original reader (zlib's uncompress) reported it.
BramResult InflateFailed(std::uint32_t c, std::uint32_t u, std::uint64_t produced) {
  LogPrintf("BramUtil::DecompressData> err %d", Z_DATA_ERROR);
  LogPrintf("BramUtil::DecompressData> srcLen=%d, dstLen=%d, actualDstLen=%d", static_cast<int>(c),
            static_cast<int>(u), static_cast<int>(produced));
  return BRAMRESULT_FAILURE;
}

// Inflates one block of c compressed bytes stated to hold u bytes.
// REQUIRES: u <= BRAMUTIL_MAX_BLOCK_SIZE and c <= BramUtilCompressedBound(u).
BramResult InflateBlock(BramDataBuffer& destination, BramDataBuffer& source, std::uint32_t c,
                        std::uint32_t u) {
  inflate_state* state = InflateState();
  std::uint8_t* input = GetScratchArea(ScratchSlot::INFLATE_INPUT, INFLATE_INPUT_PIECE);
  std::uint8_t* output = GetScratchArea(ScratchSlot::INFLATE_OUTPUT, INFLATE_OUTPUT_PIECE);
  if (state == nullptr || input == nullptr || output == nullptr) {
    LogPrintf("BramUtil::DecompressData> Insufficient memory to allocate buffers");
    return BRAMRESULT_FAILURE;
  }
  isal_inflate_init(state);
  state->crc_flag = ISAL_ZLIB;  // parse the zlib header, verify the Adler-32

  std::uint32_t unread = c;    // compressed bytes still in source
  std::uint64_t produced = 0;  // bytes inflated so far
  std::uint32_t filled = 0;    // of those, bytes waiting in output
  state->avail_in = 0;
  for (;;) {
    if (state->avail_in == 0 && unread != 0) {
      const std::uint32_t n = unread < INFLATE_INPUT_PIECE ? unread : INFLATE_INPUT_PIECE;
      const BramResult result = source.ReadData(input, n);
      if (result != BRAMRESULT_OK) return ReadFailed(result);
      unread -= n;
      state->next_in = input;
      state->avail_in = n;
    }
    state->next_out = output + filled;
    state->avail_out = INFLATE_OUTPUT_PIECE - filled;
    const std::uint32_t offered = state->avail_in;
    const int err = isal_inflate(state);
    const std::uint32_t made = INFLATE_OUTPUT_PIECE - filled - state->avail_out;
    filled += made;
    produced += made;
    if (produced > u) return BRAMRESULT_END_OF_DATA;  // longer than stated
    if (err < 0 || err == ISAL_NEED_DICT) return InflateFailed(c, u, produced);
    if (state->block_state == ISAL_BLOCK_FINISH) break;
    if (filled == INFLATE_OUTPUT_PIECE) {
      const BramResult result = destination.WriteData(output, filled);
      if (result != BRAMRESULT_OK) return result;
      filled = 0;
    } else if (made == 0 && state->avail_in == offered) {
      // No progress with room to write: the input is used up, so the zlib
      // data ends before its end marker or checksum.
      return InflateFailed(c, u, produced);
    }
  }
  if (produced != u) return BRAMRESULT_END_OF_DATA;  // shorter than stated

  // Bytes after the end of the zlib stream belong to the block; they are
  // read past, so that source ends up after the block.
  while (unread != 0) {
    const std::uint32_t n = unread < INFLATE_INPUT_PIECE ? unread : INFLATE_INPUT_PIECE;
    const BramResult result = source.ReadData(input, n);
    if (result != BRAMRESULT_OK) return ReadFailed(result);
    unread -= n;
  }
  return filled == 0 ? BRAMRESULT_OK : destination.WriteData(output, filled);
}

}  // namespace

BramResult DecompressData(BramDataBuffer& destination, BramDataBuffer& source) {
  std::uint8_t field[8];
  BramResult result = source.ReadData(field, 4);
  if (result != BRAMRESULT_OK) return ReadFailed(result);
  const std::uint32_t blocks = LoadLittleEndian32(field);
  for (std::uint32_t block = 0; block < blocks; ++block) {
    result = source.ReadData(field, 8);
    if (result != BRAMRESULT_OK) return ReadFailed(result);
    const std::uint32_t c = LoadLittleEndian32(field);
    const std::uint32_t u = LoadLittleEndian32(field + 4);
    if (u > BRAMUTIL_MAX_BLOCK_SIZE || c > BramUtilCompressedBound(u)) {
      LogPrintf("BramUtil::DecompressData> bad block lengths srcLen=%u, dstLen=%u", c, u);
      return BRAMRESULT_FAILURE;
    }
    result = InflateBlock(destination, source, c, u);
    if (result != BRAMRESULT_OK) return result;
  }
  return BRAMRESULT_OK;
}

}  // namespace BramUtil

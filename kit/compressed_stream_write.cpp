#include "kit/compressed_stream.h"

#include <zlib.h>

#include <memory>
#include <new>

#include "foundation/log.h"
#include "kit/data_buffer.h"
#include "kit/little_endian.h"

namespace BramUtil {

namespace {

// Writes the blocks of the stream; *blocks counts those written completely.
BramResult WriteBlocks(BramDataBuffer& destination, BramDataBuffer& source, std::uint32_t* blocks) {
  std::unique_ptr<std::uint8_t[]> input;
  std::unique_ptr<std::uint8_t[]> output;
  std::uint64_t area = 0;  // block size the two areas were made for
  while (source.GetPosition() < source.GetSize()) {
    const std::uint64_t remaining = source.GetSize() - source.GetPosition();
    const std::uint32_t n = static_cast<std::uint32_t>(
        remaining < BRAMUTIL_MAX_BLOCK_SIZE ? remaining : BRAMUTIL_MAX_BLOCK_SIZE);
    if (n > area) {  // the first block is the largest; later ones reuse its areas
      input.reset();
      output.reset();
      input.reset(new (std::nothrow) std::uint8_t[n]);
      output.reset(new (std::nothrow) std::uint8_t[BramUtilCompressedBound(n)]);
      if (!input || !output) {
        LogPrintf("BramUtil::CompressData> Insufficient memory to allocate buffers");
        return BRAMRESULT_FAILURE;
      }
      area = n;
    }
    BramResult result = source.ReadData(input.get(), n);
    if (result != BRAMRESULT_OK) return result;
    uLongf compressed = static_cast<uLongf>(BramUtilCompressedBound(n));
    const int err = compress2(output.get(), &compressed, input.get(), n, Z_DEFAULT_COMPRESSION);
    if (err != Z_OK) {
      LogPrintf("BramUtil::CompressData> err %d", err);
      return BRAMRESULT_FAILURE;
    }
    std::uint8_t header[8];
    StoreLittleEndian32(header, static_cast<std::uint32_t>(compressed));
    StoreLittleEndian32(header + 4, n);
    result = destination.WriteData(header, sizeof header);
    if (result != BRAMRESULT_OK) return result;
    result = destination.WriteData(output.get(), static_cast<std::uint32_t>(compressed));
    if (result != BRAMRESULT_OK) return result;
    ++*blocks;
  }
  return BRAMRESULT_OK;
}

}  // namespace

BramResult CompressData(BramDataBuffer& destination, BramDataBuffer& source) {
  const std::uint64_t start = destination.GetPosition();
  std::uint8_t count[4];
  StoreLittleEndian32(count, 0);
  BramResult result = destination.WriteData(count, sizeof count);
  if (result != BRAMRESULT_OK) return result;

  std::uint32_t blocks = 0;
  result = WriteBlocks(destination, source, &blocks);

  // The count goes in whether or not a block failed, so that the stream
  // describes the blocks that were written.
  StoreLittleEndian32(count, blocks);
  BramResult fixup = destination.SetPosition(start);
  if (fixup == BRAMRESULT_OK) fixup = destination.WriteData(count, sizeof count);
  const BramResult to_end = destination.SetPosition(destination.GetSize());
  if (fixup == BRAMRESULT_OK) fixup = to_end;
  return result != BRAMRESULT_OK ? result : fixup;
}

}  // namespace BramUtil

#include "repair/segment_checksum.h"

#include <isa-l/crc.h>

// ISA-L's crc32_ieee inverts its seed on entry and its result on exit; the
// inversions on both sides cancel that, leaving the plain CRC with initial
// value 0 and no final xor.
std::uint32_t SegmentCrcUpdate(std::uint32_t previous, const void* bytes, std::size_t count) {
  const auto* data = static_cast<const unsigned char*>(bytes);
  // crc32_ieee takes a 64-bit length; feed it in pieces anyway so that the
  // loop stays valid whatever its length type becomes.
  constexpr std::size_t PIECE = std::size_t{1} << 30;
  std::uint32_t crc = previous;
  while (count > 0) {
    const std::size_t piece = count < PIECE ? count : PIECE;
    crc = ~crc32_ieee(~crc, data, piece);
    data += piece;
    count -= piece;
  }
  return crc;
}

std::uint32_t ChecksumSegmentBytes(const void* bytes, std::size_t count) {
  const std::uint32_t crc = SegmentCrcUpdate(0, bytes, count);
  return crc == 0 ? 1 : crc;
}

#include "kit/copy_data.h"

#include "kit/data_buffer.h"
#include "kit/scratch_area.h"

namespace BramUtil {

namespace {

constexpr std::uint32_t COPY_STACK_AREA = 4096;
constexpr std::uint64_t COPY_STACK_LIMIT = 8192;  // larger copies use the heap area
constexpr std::uint32_t COPY_HEAP_AREA = 0x20000;

BramResult CopyThrough(BramDataBuffer& destination, BramDataBuffer& source, std::uint64_t count,
                       std::uint8_t* area, std::uint32_t area_size) {
  while (count != 0) {
    const std::uint32_t n = count < area_size ? static_cast<std::uint32_t>(count) : area_size;
    BramResult result = source.ReadData(area, n);
    if (result != BRAMRESULT_OK) return result;
    result = destination.WriteData(area, n);
    if (result != BRAMRESULT_OK) return result;
    count -= n;
  }
  return BRAMRESULT_OK;
}

}  // namespace

BramResult CopyData(BramDataBuffer& destination, BramDataBuffer& source, std::uint64_t count) {
  if (count == 0) return BRAMRESULT_OK;
  if (count <= COPY_STACK_LIMIT) {
    std::uint8_t area[COPY_STACK_AREA];
    return CopyThrough(destination, source, count, area, COPY_STACK_AREA);
  }
  // The heap area is the thread's reusable copy area rather than a fresh one
  // per call.
  const std::uint32_t size =
      count < COPY_HEAP_AREA ? static_cast<std::uint32_t>(count) : COPY_HEAP_AREA;
  std::uint8_t* area = GetScratchArea(ScratchSlot::COPY, COPY_HEAP_AREA);
  if (area == nullptr) return BRAMRESULT_FAILURE;
  return CopyThrough(destination, source, count, area, size);
}

}  // namespace BramUtil

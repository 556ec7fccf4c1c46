#include "kit/scratch_area.h"

#include <memory>
#include <new>

namespace {

struct ScratchAreas {
  std::unique_ptr<std::uint8_t[]> area[static_cast<int>(ScratchSlot::COUNT)];
  std::size_t size[static_cast<int>(ScratchSlot::COUNT)] = {};
};

thread_local ScratchAreas t_scratch;

}  // namespace

std::uint8_t* GetScratchArea(ScratchSlot slot, std::size_t size) {
  const int index = static_cast<int>(slot);
  if (t_scratch.size[index] < size || !t_scratch.area[index]) {
    t_scratch.area[index].reset();
    t_scratch.size[index] = 0;
    t_scratch.area[index].reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
    if (!t_scratch.area[index]) return nullptr;
    t_scratch.size[index] = size;
  }
  return t_scratch.area[index].get();
}

// BramDataBufferMemoryDynamic: a data buffer over an owned, growable byte
// array of at most 4 GiB - 1 bytes. Writing past the end grows the array;
// bytes that a size change or a gap adds read as zero.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "kit/data_buffer.h"

// Leaves bytes that a vector grows by uninitialised: WriteData overwrites
// them at once, so zeroing them first would only cost a second pass over
// the memory. SetSize zeroes what it adds itself.
template <typename T>
struct BramUninitializedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = BramUninitializedAllocator<U>;
  };
  using std::allocator<T>::allocator;
  template <typename U>
  void construct(U* place) noexcept {
    ::new (static_cast<void*>(place)) U;
  }
  template <typename U, typename... Args>
  void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
  }
};

class BramDataBufferMemoryDynamic : public BramDataBuffer {
 public:
  BramDataBufferMemoryDynamic() = default;

  std::uint64_t GetSize() override { return m_bytes.size(); }
  // BRAMRESULT_FAILURE when the size exceeds 4 GiB - 1 or memory cannot be
  // obtained (nothing changes then). A position beyond the new size moves to
  // the new size.
  BramResult SetSize(std::uint64_t size) override;
  std::uint64_t GetPosition() override { return m_position; }
  // A position beyond the size moves to the size and gives
  // BRAMRESULT_END_OF_DATA.
  BramResult SetPosition(std::uint64_t position) override;
  // BRAMRESULT_FAILURE, with nothing written, when the array cannot grow to
  // position + count.
  BramResult WriteData(const void* bytes, std::uint32_t count) override;
  // Copies what is there of the `count` bytes; BRAMRESULT_END_OF_DATA when
  // that was fewer than `count`.
  BramResult ReadData(void* bytes, std::uint32_t count) override;

  // The stored bytes; valid until the next call that changes the size.
  const std::uint8_t* GetData() const { return m_bytes.data(); }
  std::uint8_t* GetData() { return m_bytes.data(); }

 private:
  BramResult Resize(std::uint64_t size);  // new bytes uninitialised

  std::vector<std::uint8_t, BramUninitializedAllocator<std::uint8_t>> m_bytes;
  std::uint32_t m_position = 0;
};

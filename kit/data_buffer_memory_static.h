// BramDataBufferMemoryStatic: a data buffer over one fixed block, either the
// caller's (not owned; it must outlive the buffer) or a copy that the buffer
// owns. The size is the block's capacity and cannot change.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "kit/data_buffer.h"

class BramDataBufferMemoryStatic : public BramDataBuffer {
 public:
  // Over the caller's block of `capacity` bytes.
  BramDataBufferMemoryStatic(void* block, std::uint32_t capacity);
  ~BramDataBufferMemoryStatic() override;

  // Buffers that own a copy of the bytes. Each returns nullptr when memory
  // cannot be obtained or the bytes exceed 4 GiB - 1.
  static std::unique_ptr<BramDataBufferMemoryStatic> CopyOf(const void* bytes, std::uint64_t count);
  static std::unique_ptr<BramDataBufferMemoryStatic> CopyOf(std::string_view text);
  // Copies source's unread rest (position to size) and leaves source's
  // position at its end; nullptr also when that read fails (source's
  // position is then wherever the read left it).
  static std::unique_ptr<BramDataBufferMemoryStatic> CopyOfRest(BramDataBuffer& source);

  std::uint64_t GetSize() override { return m_capacity; }
  // Not supported: BRAMRESULT_NOT_ALLOWED.
  BramResult SetSize(std::uint64_t size) override;
  std::uint64_t GetPosition() override { return m_position; }
  // A position beyond the capacity moves to the capacity and gives
  // BRAMRESULT_END_OF_DATA.
  BramResult SetPosition(std::uint64_t position) override;
  // Copies what fits of the `count` bytes; BRAMRESULT_FAILURE when that was
  // fewer than `count`.
  BramResult WriteData(const void* bytes, std::uint32_t count) override;
  // Copies what is there of the `count` bytes; BRAMRESULT_END_OF_DATA when
  // that was fewer than `count`.
  BramResult ReadData(void* bytes, std::uint32_t count) override;

  const std::uint8_t* GetData() const { return m_block; }

 private:
  BramDataBufferMemoryStatic(std::uint8_t* owned_block, std::uint32_t capacity, bool owns);

  std::uint8_t* m_block;
  std::uint32_t m_position = 0;
  std::uint32_t m_capacity;
  bool m_owns_block;
};

#include "kit/data_buffer_memory_static.h"

#include <cstring>
#include <new>

namespace {

constexpr std::uint64_t MAX_MEMORY_BUFFER_SIZE = 0xFFFFFFFFu;

}  // namespace

BramDataBufferMemoryStatic::BramDataBufferMemoryStatic(void* block, std::uint32_t capacity)
    : BramDataBufferMemoryStatic(static_cast<std::uint8_t*>(block), capacity, false) {}

BramDataBufferMemoryStatic::BramDataBufferMemoryStatic(std::uint8_t* block, std::uint32_t capacity,
                                                       bool owns)
    : m_block(block), m_capacity(capacity), m_owns_block(owns) {}

BramDataBufferMemoryStatic::~BramDataBufferMemoryStatic() {
  if (m_owns_block) delete[] m_block;
}

std::unique_ptr<BramDataBufferMemoryStatic> BramDataBufferMemoryStatic::CopyOf(
    const void* bytes, std::uint64_t count) {
  if (count > MAX_MEMORY_BUFFER_SIZE) return nullptr;
  auto* block = new (std::nothrow) std::uint8_t[count == 0 ? 1 : count];
  if (block == nullptr) return nullptr;
  if (count != 0) std::memcpy(block, bytes, count);
  return std::unique_ptr<BramDataBufferMemoryStatic>(
      new BramDataBufferMemoryStatic(block, static_cast<std::uint32_t>(count), true));
}

std::unique_ptr<BramDataBufferMemoryStatic> BramDataBufferMemoryStatic::CopyOf(
    std::string_view text) {
  return CopyOf(text.data(), text.size());
}

std::unique_ptr<BramDataBufferMemoryStatic> BramDataBufferMemoryStatic::CopyOfRest(
    BramDataBuffer& source) {
  const std::uint64_t size = source.GetSize();
  const std::uint64_t position = source.GetPosition();
  const std::uint64_t count = position < size ? size - position : 0;
  if (count > MAX_MEMORY_BUFFER_SIZE) return nullptr;
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[count == 0 ? 1 : count]);
  if (!block) return nullptr;
  if (count != 0 &&
      source.ReadData(block.get(), static_cast<std::uint32_t>(count)) != BRAMRESULT_OK) {
    return nullptr;
  }
  return std::unique_ptr<BramDataBufferMemoryStatic>(
      new BramDataBufferMemoryStatic(block.release(), static_cast<std::uint32_t>(count), true));
}

BramResult BramDataBufferMemoryStatic::SetSize(std::uint64_t /*size*/) {
  return BRAMRESULT_NOT_ALLOWED;
}

BramResult BramDataBufferMemoryStatic::SetPosition(std::uint64_t position) {
  if (position > m_capacity) {
    m_position = m_capacity;
    return BRAMRESULT_END_OF_DATA;
  }
  m_position = static_cast<std::uint32_t>(position);
  return BRAMRESULT_OK;
}

BramResult BramDataBufferMemoryStatic::WriteData(const void* bytes, std::uint32_t count) {
  if (count == 0) return BRAMRESULT_OK;
  const std::uint32_t room = m_capacity - m_position;
  const std::uint32_t n = count < room ? count : room;
  if (n != 0) std::memcpy(m_block + m_position, bytes, n);
  m_position += n;
  return n == count ? BRAMRESULT_OK : BRAMRESULT_FAILURE;
}

BramResult BramDataBufferMemoryStatic::ReadData(void* bytes, std::uint32_t count) {
  if (count == 0) return BRAMRESULT_OK;
  const std::uint32_t available = m_capacity - m_position;
  const std::uint32_t n = count < available ? count : available;
  if (n != 0) std::memcpy(bytes, m_block + m_position, n);
  m_position += n;
  return n == count ? BRAMRESULT_OK : BRAMRESULT_END_OF_DATA;
}

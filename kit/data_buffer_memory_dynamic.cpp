#include "kit/data_buffer_memory_dynamic.h"

#include <cstring>
#include <new>
#include <stdexcept>

namespace {

constexpr std::uint64_t MAX_MEMORY_BUFFER_SIZE = 0xFFFFFFFFu;

}  // namespace

BramResult BramDataBufferMemoryDynamic::Resize(std::uint64_t size) {
  if (size > MAX_MEMORY_BUFFER_SIZE) return BRAMRESULT_FAILURE;
  try {
    m_bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return BRAMRESULT_FAILURE;
  } catch (const std::length_error&) {
    return BRAMRESULT_FAILURE;
  }
  return BRAMRESULT_OK;
}

BramResult BramDataBufferMemoryDynamic::SetSize(std::uint64_t size) {
  const std::size_t old_size = m_bytes.size();
  const BramResult result = Resize(size);
  if (result != BRAMRESULT_OK) return result;
  if (size > old_size) std::memset(m_bytes.data() + old_size, 0, size - old_size);
  if (m_position > size) m_position = static_cast<std::uint32_t>(size);
  return BRAMRESULT_OK;
}

BramResult BramDataBufferMemoryDynamic::SetPosition(std::uint64_t position) {
  if (position > m_bytes.size()) {
    m_position = static_cast<std::uint32_t>(m_bytes.size());
    return BRAMRESULT_END_OF_DATA;
  }
  m_position = static_cast<std::uint32_t>(position);
  return BRAMRESULT_OK;
}

BramResult BramDataBufferMemoryDynamic::WriteData(const void* bytes, std::uint32_t count) {
  if (count == 0) return BRAMRESULT_OK;
  const std::uint64_t end = std::uint64_t{m_position} + count;
  if (end > m_bytes.size()) {
    // Position never exceeds the size, so the new bytes are all written below.
    const BramResult grown = Resize(end);
    if (grown != BRAMRESULT_OK) return grown;
  }
  std::memcpy(m_bytes.data() + m_position, bytes, count);
  m_position = static_cast<std::uint32_t>(end);
  return BRAMRESULT_OK;
}

BramResult BramDataBufferMemoryDynamic::ReadData(void* bytes, std::uint32_t count) {
  if (count == 0) return BRAMRESULT_OK;
  const std::uint32_t available = static_cast<std::uint32_t>(m_bytes.size()) - m_position;
  const std::uint32_t n = count < available ? count : available;
  if (n != 0) std::memcpy(bytes, m_bytes.data() + m_position, n);
  m_position += n;
  return n == count ? BRAMRESULT_OK : BRAMRESULT_END_OF_DATA;
}

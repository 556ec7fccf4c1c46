// A data buffer that forwards to another one but refuses to let it grow
// beyond a limit: the output of a decompression whose input comes from the
// network cannot exceed one segment, whatever the stream claims.
#pragma once

#include <cstdint>

#include "kit/data_buffer.h"

class BoundedDataBuffer : public BramDataBuffer {
 public:
  // `inner` must outlive this buffer.
  BoundedDataBuffer(BramDataBuffer& inner, std::uint64_t limit) : m_inner(inner), m_limit(limit) {}

  std::uint64_t GetSize() override { return m_inner.GetSize(); }
  // BRAMRESULT_FAILURE above the limit.
  BramResult SetSize(std::uint64_t size) override {
    return size > m_limit ? BRAMRESULT_FAILURE : m_inner.SetSize(size);
  }
  std::uint64_t GetPosition() override { return m_inner.GetPosition(); }
  BramResult SetPosition(std::uint64_t position) override { return m_inner.SetPosition(position); }
  // BRAMRESULT_FAILURE, writing nothing, when the write would end past the
  // limit.
  BramResult WriteData(const void* bytes, std::uint32_t count) override {
    if (m_inner.GetPosition() + count > m_limit) return BRAMRESULT_FAILURE;
    return m_inner.WriteData(bytes, count);
  }
  BramResult ReadData(void* bytes, std::uint32_t count) override {
    return m_inner.ReadData(bytes, count);
  }
  void Flush() override { m_inner.Flush(); }

 private:
  BramDataBuffer& m_inner;
  std::uint64_t m_limit;
};

// BramDataBuffer: a random-access byte store with a 64-bit size and a 64-bit
// position, read and written in whole calls that return a result code.
//
// The base class is a null store: every operation succeeds, sizes and
// positions read as 0, nothing is kept. Concrete buffers: BramDataBufferFile
// (a file), BramDataBufferMemoryDynamic (a growable array),
// BramDataBufferMemoryStatic (one fixed block). A buffer never shares its
// storage and is used by one thread at a time.
#pragma once

#include <cstdint>

#include "foundation/bram_result.h"

class BramDataBuffer {
 public:
  BramDataBuffer() = default;
  virtual ~BramDataBuffer() = default;
  BramDataBuffer(const BramDataBuffer&) = delete;
  BramDataBuffer& operator=(const BramDataBuffer&) = delete;

  virtual std::uint64_t GetSize() { return 0; }
  virtual BramResult SetSize(std::uint64_t /*size*/) { return BRAMRESULT_OK; }
  // The position of the next read or write.
  virtual std::uint64_t GetPosition() { return 0; }
  virtual BramResult SetPosition(std::uint64_t /*position*/) { return BRAMRESULT_OK; }
  // Writes `count` bytes at the position and advances it.
  virtual BramResult WriteData(const void* /*bytes*/, std::uint32_t /*count*/) {
    return BRAMRESULT_OK;
  }
  // Reads `count` bytes at the position and advances it by the bytes read;
  // on a failure the bytes beyond those read are left as they were.
  virtual BramResult ReadData(void* /*bytes*/, std::uint32_t /*count*/) { return BRAMRESULT_OK; }
  virtual void Flush() {}
};

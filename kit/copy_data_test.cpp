#include "kit/copy_data.h"

#include <gtest/gtest.h>

#include <string>

#include "kit/data_buffer_memory_dynamic.h"
#include "kit/data_buffer_memory_static.h"
#include "kit/kit_test_support.h"

namespace {

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + i / 251);
  return bytes;
}

std::string Contents(const BramDataBufferMemoryDynamic& buffer, std::uint64_t size) {
  return std::string(reinterpret_cast<const char*>(buffer.GetData()), size);
}

TEST(CopyData, CopiesCountBytesBetweenPositions) {
  // Around the stack-area limit and the 128 KiB step.
  for (std::uint64_t count :
       {0ull, 1ull, 4096ull, 4097ull, 8192ull, 8193ull, 131072ull, 3 * 131072ull + 7}) {
    SCOPED_TRACE(count);
    const std::string source_bytes = Pattern(count + 20);
    auto source = BramDataBufferMemoryStatic::CopyOf(source_bytes);
    ASSERT_EQ(source->SetPosition(10), BRAMRESULT_OK);
    BramDataBufferMemoryDynamic destination;
    ASSERT_EQ(destination.WriteData("head", 4), BRAMRESULT_OK);

    EXPECT_EQ(BramUtil::CopyData(destination, *source, count), BRAMRESULT_OK);
    EXPECT_EQ(source->GetPosition(), 10 + count);
    EXPECT_EQ(destination.GetPosition(), 4 + count);
    ASSERT_EQ(destination.GetSize(), 4 + count);
    EXPECT_EQ(Contents(destination, 4 + count), "head" + source_bytes.substr(10, count));
  }
}

TEST(CopyData, ReturnsFirstFailingReadOrWrite) {
  const std::string bytes = Pattern(300000);
  {
    // The source ends before count: the end-of-data of its read comes back,
    // after the steps that did succeed.
    auto source = BramDataBufferMemoryStatic::CopyOf(bytes);
    BramDataBufferMemoryDynamic destination;
    EXPECT_EQ(BramUtil::CopyData(destination, *source, bytes.size() + 1), BRAMRESULT_END_OF_DATA);
    EXPECT_EQ(destination.GetSize(), 2 * 131072u);
  }
  {
    auto source = BramDataBufferMemoryStatic::CopyOf(bytes);
    BramDataBufferMemoryDynamic sink;
    FaultyBuffer destination(sink, 2, 0, BRAMRESULT_IO_FAILURE);
    EXPECT_EQ(BramUtil::CopyData(destination, *source, bytes.size()), BRAMRESULT_IO_FAILURE);
    EXPECT_EQ(sink.GetSize(), 131072u);
    EXPECT_EQ(source->GetPosition(), 2 * 131072u);
  }
  {
    auto source_inner = BramDataBufferMemoryStatic::CopyOf(bytes);
    FaultyBuffer source(*source_inner, 0, 1, BRAMRESULT_NOT_OPEN);
    BramDataBufferMemoryDynamic destination;
    EXPECT_EQ(BramUtil::CopyData(destination, source, 100), BRAMRESULT_NOT_OPEN);
    EXPECT_EQ(destination.GetSize(), 0u);
  }
}

}  // namespace

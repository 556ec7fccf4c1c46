#include <gtest/gtest.h>

#include <string>

#include "kit/data_buffer_memory_dynamic.h"
#include "kit/data_buffer_memory_static.h"

namespace {

TEST(BramDataBufferMemoryDynamic, WriteAtGapGrowsWithZeroBytes) {
  BramDataBufferMemoryDynamic buffer;
  ASSERT_EQ(buffer.WriteData("abcde", 5), BRAMRESULT_OK);
  ASSERT_EQ(buffer.SetSize(0), BRAMRESULT_OK);
  EXPECT_EQ(buffer.GetPosition(), 0u);  // a shrink pulls the position in

  // Growing again gives zero bytes, not the old ones.
  ASSERT_EQ(buffer.SetSize(5), BRAMRESULT_OK);
  ASSERT_EQ(buffer.SetPosition(5), BRAMRESULT_OK);
  EXPECT_EQ(buffer.WriteData("0123456789", 10), BRAMRESULT_OK);
  EXPECT_EQ(buffer.GetSize(), 15u);
  EXPECT_EQ(buffer.GetPosition(), 15u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.GetData()), 15),
            std::string("\0\0\0\0\0"
                        "0123456789",
                        15));
}

TEST(BramDataBufferMemoryDynamic, ReadsAndPositionsPastEndAreEndOfData) {
  BramDataBufferMemoryDynamic buffer;
  ASSERT_EQ(buffer.WriteData(std::string(100, 'z').data(), 100), BRAMRESULT_OK);
  ASSERT_EQ(buffer.SetPosition(95), BRAMRESULT_OK);
  std::string bytes(10, '-');
  EXPECT_EQ(buffer.ReadData(bytes.data(), 10), BRAMRESULT_END_OF_DATA);
  EXPECT_EQ(bytes, "zzzzz-----");
  EXPECT_EQ(buffer.GetPosition(), 100u);
  EXPECT_EQ(buffer.SetPosition(101), BRAMRESULT_END_OF_DATA);
  EXPECT_EQ(buffer.GetPosition(), 100u);
  EXPECT_EQ(buffer.SetPosition(1ull << 32), BRAMRESULT_END_OF_DATA);
  EXPECT_EQ(buffer.GetPosition(), 100u);
}

TEST(BramDataBufferMemoryDynamic, SizeBeyondFourGigabytesFailsAndChangesNothing) {
  BramDataBufferMemoryDynamic buffer;
  ASSERT_EQ(buffer.WriteData("abc", 3), BRAMRESULT_OK);
  // The low 32 bits of 2^32 are 0: a truncation would lose the data.
  EXPECT_EQ(buffer.SetSize(1ull << 32), BRAMRESULT_FAILURE);
  EXPECT_EQ(buffer.GetSize(), 3u);
  EXPECT_EQ(buffer.GetPosition(), 3u);
}

TEST(BramDataBufferMemoryStatic, WritesWhatFitsAndRefusesResize) {
  char block[8] = {};
  BramDataBufferMemoryStatic buffer(block, sizeof block);
  EXPECT_EQ(buffer.GetSize(), 8u);
  EXPECT_EQ(buffer.SetSize(16), BRAMRESULT_NOT_ALLOWED);
  ASSERT_EQ(buffer.SetPosition(5), BRAMRESULT_OK);
  EXPECT_EQ(buffer.WriteData("abcdef", 6), BRAMRESULT_FAILURE);
  EXPECT_EQ(buffer.GetPosition(), 8u);
  EXPECT_EQ(std::string(block, 8), std::string("\0\0\0\0\0abc", 8));
  EXPECT_EQ(buffer.SetPosition(9), BRAMRESULT_END_OF_DATA);
  EXPECT_EQ(buffer.GetPosition(), 8u);

  ASSERT_EQ(buffer.SetPosition(6), BRAMRESULT_OK);
  char out[4] = {};
  EXPECT_EQ(buffer.ReadData(out, 4), BRAMRESULT_END_OF_DATA);
  EXPECT_EQ(std::string(out, 2), "bc");
  EXPECT_EQ(buffer.GetPosition(), 8u);
}

TEST(BramDataBufferMemoryStatic, CopiesOwnTheirBytes) {
  std::string text = "hello world";
  auto copy = BramDataBufferMemoryStatic::CopyOf(text);
  text[0] = 'J';
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy->GetData()), 11), "hello world");

  // The unread rest of another buffer; that buffer ends up at its end.
  BramDataBufferMemoryDynamic source;
  ASSERT_EQ(source.WriteData("0123456789", 10), BRAMRESULT_OK);
  ASSERT_EQ(source.SetPosition(7), BRAMRESULT_OK);
  auto rest = BramDataBufferMemoryStatic::CopyOfRest(source);
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(rest->GetSize(), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(rest->GetData()), 3), "789");
  EXPECT_EQ(source.GetPosition(), 10u);

  auto empty = BramDataBufferMemoryStatic::CopyOfRest(source);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->GetSize(), 0u);
  char byte;
  EXPECT_EQ(empty->ReadData(&byte, 1), BRAMRESULT_END_OF_DATA);
}

}  // namespace

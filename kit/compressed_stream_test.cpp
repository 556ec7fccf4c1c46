#include "kit/compressed_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "kit/data_buffer_file.h"
#include "kit/data_buffer_memory_dynamic.h"
#include "kit/data_buffer_memory_static.h"
#include "kit/kit_test_support.h"
#include "kit/little_endian.h"

namespace {

// Text-like runs, random bytes and zeros, so that deflate produces both
// matched and literal data.
std::string MixedBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes;
  bytes.reserve(size);
  static const char* const WORDS[] = {"patch ", "archive ", "manifest ", "0x1f ", "\r\n"};
  while (bytes.size() < size) {
    switch (random() % 3) {
      case 0:
        for (int i = 0; i < 50; ++i) bytes += WORDS[random() % 5];
        break;
      case 1:
        for (int i = 0; i < 300; ++i) bytes += static_cast<char>(random());
        break;
      default:
        bytes.append(random() % 500, '\0');
    }
  }
  bytes.resize(size);
  return bytes;
}

std::string Contents(BramDataBufferMemoryDynamic& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.GetData()), buffer.GetSize());
}

std::string Compress(const std::string& data) {
  auto source = BramDataBufferMemoryStatic::CopyOf(data);
  BramDataBufferMemoryDynamic stream;
  EXPECT_EQ(BramUtil::CompressData(stream, *source), BRAMRESULT_OK);
  return Contents(stream);
}

// DecompressData over a memory copy of `stream`; *data receives what it wrote.
BramResult Decompress(const std::string& stream, std::string* data) {
  auto source = BramDataBufferMemoryStatic::CopyOf(stream);
  BramDataBufferMemoryDynamic destination;
  const BramResult result = BramUtil::DecompressData(destination, *source);
  *data = Contents(destination);
  return result;
}

std::uint32_t Field(const std::string& stream, std::size_t offset) {
  return LoadLittleEndian32(reinterpret_cast<const std::uint8_t*>(stream.data()) + offset);
}

void SetField(std::string* stream, std::size_t offset, std::uint32_t value) {
  StoreLittleEndian32(reinterpret_cast<std::uint8_t*>(stream->data()) + offset, value);
}

// A two-block stream made from two single-block streams of the writer.
std::string TwoBlockStream(const std::string& first, const std::string& second) {
  std::string stream = Compress(first);
  stream += Compress(second).substr(4);
  SetField(&stream, 0, 2);
  return stream;
}

TEST(CompressedStream, RoundTripsAndLaysOutOneBlock) {
  // Sizes around the reader's 256 KiB input and 1 MiB output pieces.
  const std::size_t sizes[] = {1, 1000, 300000, 1024 * 1024, 3 * 1024 * 1024 + 5};
  for (std::size_t size : sizes) {
    SCOPED_TRACE(size);
    const std::string data = MixedBytes(size, static_cast<unsigned>(size));
    const std::string stream = Compress(data);
    ASSERT_GE(stream.size(), 12u);
    EXPECT_EQ(Field(stream, 0), 1u);
    EXPECT_EQ(Field(stream, 4), stream.size() - 12);
    EXPECT_EQ(Field(stream, 8), size);
    // The block is a plain zlib stream.
    std::string inflated(size, '\0');
    uLongf inflated_size = size;
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(inflated.data()), &inflated_size,
                         reinterpret_cast<const Bytef*>(stream.data()) + 12, stream.size() - 12),
              Z_OK);
    EXPECT_TRUE(inflated == data);

    std::string back;
    EXPECT_EQ(Decompress(stream, &back), BRAMRESULT_OK);
    EXPECT_TRUE(back == data);
  }
}

TEST(CompressedStream, RoundTripsBetweenFilesAtTheirPositions) {
  KitTempDir dir;
  const std::string data = MixedBytes(2 * 1024 * 1024 + 77, 3);
  WriteWholeFile(dir.Sub("in"), "skip" + data);
  {
    BramDataBufferFile source(dir.Sub("in"), BRAMFILE_MODE_READ);
    ASSERT_EQ(source.SetPosition(4), BRAMRESULT_OK);
    BramDataBufferFile stream(dir.Sub("stream"), BRAMFILE_MODE_CREATE);
    ASSERT_EQ(stream.WriteData("HEAD", 4), BRAMRESULT_OK);
    ASSERT_EQ(BramUtil::CompressData(stream, source), BRAMRESULT_OK);
    EXPECT_EQ(stream.GetPosition(), stream.GetSize());
  }
  {
    BramDataBufferFile stream(dir.Sub("stream"), BRAMFILE_MODE_READ);
    ASSERT_EQ(stream.SetPosition(4), BRAMRESULT_OK);
    BramDataBufferFile out(dir.Sub("out"), BRAMFILE_MODE_CREATE);
    ASSERT_EQ(BramUtil::DecompressData(out, stream), BRAMRESULT_OK);
    EXPECT_EQ(stream.GetPosition(), stream.GetSize());
  }
  EXPECT_TRUE(ReadWholeFile(dir.Sub("out")) == data);
}

TEST(CompressedStream, EmptySourceIsFourZeroBytesAndZeroCountIsNoData) {
  BramDataBufferMemoryDynamic stream;
  BramDataBufferMemoryDynamic empty;
  ASSERT_EQ(BramUtil::CompressData(stream, empty), BRAMRESULT_OK);
  EXPECT_EQ(Contents(stream), std::string(4, '\0'));
  EXPECT_EQ(stream.GetPosition(), 4u);

  std::string data = "untouched";
  EXPECT_EQ(Decompress(std::string(4, '\0'), &data), BRAMRESULT_OK);
  EXPECT_EQ(data, "");
}

TEST(CompressedStream, BlocksFollowEachOther) {
  const std::string first = MixedBytes(5000, 1);
  const std::string second = MixedBytes(7000, 2);
  std::string data;
  EXPECT_EQ(Decompress(TwoBlockStream(first, second), &data), BRAMRESULT_OK);
  EXPECT_TRUE(data == first + second);
}

// A source of `size` pattern bytes that stores nothing, and a sink that
// checks the pattern as it arrives.
class PatternSource : public BramDataBuffer {
 public:
  explicit PatternSource(std::uint64_t size) : m_size(size) {}
  static std::uint8_t At(std::uint64_t i) { return static_cast<std::uint8_t>(i % 251 + i / 4099); }
  std::uint64_t GetSize() override { return m_size; }
  std::uint64_t GetPosition() override { return m_position; }
  BramResult ReadData(void* bytes, std::uint32_t count) override {
    auto* out = static_cast<std::uint8_t*>(bytes);
    for (std::uint32_t i = 0; i < count; ++i) out[i] = At(m_position + i);
    m_position += count;
    return BRAMRESULT_OK;
  }

 private:
  std::uint64_t m_size;
  std::uint64_t m_position = 0;
};

class PatternSink : public BramDataBuffer {
 public:
  std::uint64_t GetPosition() override { return m_position; }
  BramResult WriteData(const void* bytes, std::uint32_t count) override {
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (in[i] != PatternSource::At(m_position + i)) m_mismatch = true;
    }
    m_position += count;
    return BRAMRESULT_OK;
  }
  bool mismatch() const { return m_mismatch; }

 private:
  std::uint64_t m_position = 0;
  bool m_mismatch = false;
};

TEST(CompressedStream, WriterCutsBlocksAt256MiB) {
  const std::uint64_t size = std::uint64_t{BRAMUTIL_MAX_BLOCK_SIZE} + 5;
  PatternSource source(size);
  BramDataBufferMemoryDynamic stream;
  ASSERT_EQ(BramUtil::CompressData(stream, source), BRAMRESULT_OK);
  const std::string bytes = Contents(stream);
  ASSERT_EQ(Field(bytes, 0), 2u);
  const std::uint32_t c0 = Field(bytes, 4);
  EXPECT_EQ(Field(bytes, 8), BRAMUTIL_MAX_BLOCK_SIZE);
  EXPECT_EQ(Field(bytes, 12 + c0 + 4), 5u);

  ASSERT_EQ(stream.SetPosition(0), BRAMRESULT_OK);
  PatternSink sink;
  ASSERT_EQ(BramUtil::DecompressData(sink, stream), BRAMRESULT_OK);
  EXPECT_EQ(sink.GetPosition(), size);
  EXPECT_FALSE(sink.mismatch());
}

TEST(CompressedStream, StatedLengthOtherThanInflatedIsEndOfData) {
  // Small blocks fail before writing anything; a block of several output
  // pieces may leave a prefix, never bytes beyond the stated length.
  for (std::size_t size : {std::size_t{4000}, std::size_t{3 * 1024 * 1024}}) {
    const std::string data = MixedBytes(size, 9);
    for (int delta : {+1, -1}) {
      SCOPED_TRACE(testing::Message() << size << " " << delta);
      std::string stream = Compress(data);
      SetField(&stream, 8, static_cast<std::uint32_t>(size + delta));
      std::string written;
      testing::internal::CaptureStdout();
      EXPECT_EQ(Decompress(stream, &written), BRAMRESULT_END_OF_DATA);
      EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
      if (size < 1024 * 1024) {
        EXPECT_EQ(written, "");
      }
      EXPECT_LE(written.size(), size - 1);
      EXPECT_TRUE(written == data.substr(0, written.size()));
    }
  }
}

TEST(CompressedStream, DamagedZlibDataFailsWithLoggedError) {
  const std::string data = MixedBytes(20000, 4);
  const std::string good = Compress(data);
  const struct {
    const char* what;
    std::size_t offset;  // byte to flip
  } cases[] = {
      {"zlib header", 12},
      {"deflate data", 12 + 40},
      {"Adler-32", good.size() - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string stream = good;
    stream[c.offset] = static_cast<char>(stream[c.offset] ^ 0x55);
    std::string written;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Decompress(stream, &written), BRAMRESULT_FAILURE);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.substr(0, log.find('\n') + 1), "BramUtil::DecompressData> err -3\n");
    EXPECT_NE(log.find("BramUtil::DecompressData> srcLen=" + std::to_string(good.size() - 12) +
                       ", dstLen=20000, actualDstLen="),
              std::string::npos)
        << log;
    EXPECT_EQ(written, "");
  }
}

TEST(CompressedStream, ClaimedLengthsBeyondLimitsFailWithoutAllocating) {
  const std::string good = Compress(MixedBytes(1000, 5));
  const std::uint32_t c = Field(good, 4);
  const struct {
    std::uint32_t c;
    std::uint32_t u;
    BramResult result;
  } cases[] = {
      {c, 0xFFFFFFFFu, BRAMRESULT_FAILURE},
      {c, BRAMUTIL_MAX_BLOCK_SIZE + 1, BRAMRESULT_FAILURE},
      {0xFFFFFFFFu, 1000, BRAMRESULT_FAILURE},
      {static_cast<std::uint32_t>(BramUtilCompressedBound(1000)) + 1, 1000, BRAMRESULT_FAILURE},
      // Within the limits but beyond the data: the truncated read.
      {static_cast<std::uint32_t>(BramUtilCompressedBound(1000)), 1000, BRAMRESULT_END_OF_DATA},
      // Fits in memory but inflates to far less than claimed.
      {c, BRAMUTIL_MAX_BLOCK_SIZE, BRAMRESULT_END_OF_DATA},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.c << " " << k.u);
    std::string stream = good;
    SetField(&stream, 4, k.c);
    SetField(&stream, 8, k.u);
    std::string written;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Decompress(stream, &written), k.result);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(written, "");
  }
}

// Every cut of a stream fails, and what was written is a prefix of the data.
TEST(CompressedStream, TruncatedStreamNeverSucceeds) {
  KitTempDir dir;
  const std::string first = MixedBytes(150, 11);
  const std::string second = MixedBytes(400, 12);
  const std::string data = first + second;
  const std::string stream = TwoBlockStream(first, second);
  ASSERT_LT(stream.size(), 700u);
  for (std::size_t length = 0; length < stream.size(); ++length) {
    SCOPED_TRACE(length);
    const std::string cut = stream.substr(0, length);
    std::string written;
    testing::internal::CaptureStdout();
    const BramResult in_memory = Decompress(cut, &written);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(in_memory, BRAMRESULT_OK);
    EXPECT_TRUE(written == data.substr(0, written.size()));

    WriteWholeFile(dir.Sub("cut"), cut);
    BramDataBufferFile source(dir.Sub("cut"), BRAMFILE_MODE_READ);
    BramDataBufferMemoryDynamic destination;
    testing::internal::CaptureStdout();
    const BramResult from_file = BramUtil::DecompressData(destination, source);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(from_file, BRAMRESULT_OK);
    EXPECT_TRUE(Contents(destination) == data.substr(0, destination.GetSize()));
  }
  std::string whole;
  EXPECT_EQ(Decompress(stream, &whole), BRAMRESULT_OK);
  EXPECT_TRUE(whole == data);
}

TEST(CompressedStream, TruncatedReadIsLoggedWithItsCode) {
  const std::string stream = Compress(MixedBytes(1000, 6));
  std::string written;
  testing::internal::CaptureStdout();
  EXPECT_EQ(Decompress(stream.substr(0, stream.size() - 1), &written), BRAMRESULT_END_OF_DATA);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "BramUtil::DecompressData> ReadData returned 8\n");
}

TEST(CompressedStream, FailingBuffersStopWithTheirCode) {
  const std::string data = MixedBytes(10000, 8);
  {
    // The block's bytes cannot be written: the count still goes in, as 0.
    auto source = BramDataBufferMemoryStatic::CopyOf(data);
    BramDataBufferMemoryDynamic sink;
    FaultyBuffer stream(sink, 3, 0, BRAMRESULT_IO_FAILURE);
    EXPECT_EQ(BramUtil::CompressData(stream, *source), BRAMRESULT_IO_FAILURE);
    EXPECT_EQ(Field(Contents(sink), 0), 0u);
    EXPECT_EQ(sink.GetPosition(), sink.GetSize());
  }
  {
    // The count cannot be fixed up after the blocks: not a success.
    auto source = BramDataBufferMemoryStatic::CopyOf(data);
    BramDataBufferMemoryDynamic sink;
    FaultyBuffer stream(sink, 4, 0, BRAMRESULT_IO_FAILURE);
    EXPECT_EQ(BramUtil::CompressData(stream, *source), BRAMRESULT_IO_FAILURE);
  }
  {
    auto inner = BramDataBufferMemoryStatic::CopyOf(data);
    FaultyBuffer source(*inner, 0, 1, BRAMRESULT_NOT_OPEN);
    BramDataBufferMemoryDynamic stream;
    EXPECT_EQ(BramUtil::CompressData(stream, source), BRAMRESULT_NOT_OPEN);
    EXPECT_EQ(Contents(stream), std::string(4, '\0'));
  }
  {
    auto stream = BramDataBufferMemoryStatic::CopyOf(Compress(data));
    BramDataBufferMemoryDynamic sink;
    FaultyBuffer destination(sink, 1, 0, BRAMRESULT_FAILURE);
    EXPECT_EQ(BramUtil::DecompressData(destination, *stream), BRAMRESULT_FAILURE);
  }
}

}  // namespace

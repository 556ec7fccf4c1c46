#include "kit/data_buffer_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kit/kit_test_support.h"

namespace {

std::string ReadAll(BramDataBuffer& buffer, std::uint32_t count) {
  std::string bytes(count, '\0');
  EXPECT_EQ(buffer.ReadData(bytes.data(), count), BRAMRESULT_OK);
  return bytes;
}

TEST(BramDataBufferFile, ModesAllowReadsAndWritesAsDocumented) {
  struct Case {
    std::int32_t mode;
    BramResult read;
    BramResult write;
  };
  const Case cases[] = {
      {BRAMFILE_MODE_READ, BRAMRESULT_OK, BRAMRESULT_NOT_ALLOWED},
      {BRAMFILE_MODE_CREATE, BRAMRESULT_NOT_ALLOWED, BRAMRESULT_OK},
      {BRAMFILE_MODE_UPDATE, BRAMRESULT_NOT_ALLOWED, BRAMRESULT_OK},
      {BRAMFILE_MODE_READ_WRITE, BRAMRESULT_OK, BRAMRESULT_OK},
  };
  KitTempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    const std::string path = dir.Sub("f");
    WriteWholeFile(path, "0123456789");
    BramDataBufferFile file(path, c.mode);
    ASSERT_TRUE(file.IsOpen());
    char byte;
    EXPECT_EQ(file.ReadData(&byte, 1), c.read);
    EXPECT_EQ(file.WriteData("x", 1), c.write);
    EXPECT_EQ(file.ReadData(&byte, 0), c.read);  // the mode is checked before the count
  }
}

TEST(BramDataBufferFile, OpeningSetsSizeAndKeepsOrCutsContents) {
  KitTempDir dir;
  const std::string path = dir.Sub("f");

  WriteWholeFile(path, "0123456789");
  {
    BramDataBufferFile file(path, BRAMFILE_MODE_READ);
    EXPECT_EQ(file.GetSize(), 10u);
    EXPECT_EQ(file.GetPosition(), 0u);
  }
  {
    // Update mode keeps the rest of the file around what it overwrites.
    BramDataBufferFile file(path, BRAMFILE_MODE_UPDATE);
    EXPECT_EQ(file.GetSize(), 10u);
    EXPECT_EQ(file.WriteData("ab", 2), BRAMRESULT_OK);
  }
  EXPECT_EQ(ReadWholeFile(path), "ab23456789");
  {
    BramDataBufferFile file(path, BRAMFILE_MODE_CREATE);
    EXPECT_EQ(file.GetSize(), 0u);
  }
  EXPECT_EQ(ReadWholeFile(path), "");

  const std::string created = dir.Sub("created");
  {
    BramDataBufferFile file(created, BRAMFILE_MODE_UPDATE);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_EQ(file.WriteData("new", 3), BRAMRESULT_OK);
  }
  EXPECT_EQ(ReadWholeFile(created), "new");
}

TEST(BramDataBufferFile, FileThatCannotBeOpenedLeavesBufferUnopened) {
  KitTempDir dir;
  const struct {
    std::string path;
    std::int32_t mode;
  } cases[] = {
      {dir.Sub("missing"), BRAMFILE_MODE_READ},
      {dir.Sub("missing"), BRAMFILE_MODE_READ_WRITE},
      {dir.Sub("no/such/dir/file"), BRAMFILE_MODE_CREATE},
      {dir.path(), BRAMFILE_MODE_READ},  // a directory is not a file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    BramDataBufferFile file(c.path, c.mode);
    EXPECT_FALSE(file.IsOpen());
    char byte;
    EXPECT_EQ(file.ReadData(&byte, 1), BRAMRESULT_NOT_OPEN);
    EXPECT_EQ(file.WriteData("x", 1), BRAMRESULT_NOT_OPEN);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("missing")));
}

TEST(BramDataBufferFile, UnknownModeLogsLineAndEveryOperationIsNotOpen) {
  KitTempDir dir;
  const std::string path = dir.Sub("f");
  testing::internal::CaptureStdout();
  BramDataBufferFile file(path, 5);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "BramDataBufferFile> unknown access mode 5\n");
  EXPECT_FALSE(file.IsOpen());
  char byte;
  EXPECT_EQ(file.SetSize(4), BRAMRESULT_NOT_OPEN);
  EXPECT_EQ(file.SetPosition(1), BRAMRESULT_NOT_OPEN);
  EXPECT_EQ(file.WriteData("x", 1), BRAMRESULT_NOT_OPEN);
  EXPECT_EQ(file.ReadData(&byte, 1), BRAMRESULT_NOT_OPEN);
  file.Flush();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(BramDataBufferFile, ChangeOfDirectionContinuesAtCachedPosition) {
  KitTempDir dir;
  const std::string path = dir.Sub("f");
  WriteWholeFile(path, "0123456789");
  BramDataBufferFile file(path, BRAMFILE_MODE_READ_WRITE);
  EXPECT_EQ(ReadAll(file, 3), "012");
  EXPECT_EQ(file.WriteData("ab", 2), BRAMRESULT_OK);
  EXPECT_EQ(file.GetPosition(), 5u);
  EXPECT_EQ(ReadAll(file, 2), "56");

  // A write into bytes that an earlier small read brought in must be seen by
  // the next read.
  EXPECT_EQ(file.SetPosition(0), BRAMRESULT_OK);
  EXPECT_EQ(ReadAll(file, 1), "0");
  EXPECT_EQ(file.WriteData("X", 1), BRAMRESULT_OK);
  EXPECT_EQ(file.SetPosition(0), BRAMRESULT_OK);
  EXPECT_EQ(ReadAll(file, 10), "0X2ab56789");
  EXPECT_EQ(file.SetSize(3), BRAMRESULT_OK);
  EXPECT_EQ(file.SetSize(5), BRAMRESULT_OK);
  EXPECT_EQ(file.SetPosition(0), BRAMRESULT_OK);
  EXPECT_EQ(ReadAll(file, 5), std::string("0X2\0\0", 5));
}

TEST(BramDataBufferFile, ShortReadAtEndIsIoFailureAndCountsBytesRead) {
  KitTempDir dir;
  const std::string path = dir.Sub("f");
  WriteWholeFile(path, std::string(10000, 'q'));
  for (std::uint32_t count : {5u, 9000u}) {  // through the read-ahead and directly
    SCOPED_TRACE(count);
    BramDataBufferFile file(path, BRAMFILE_MODE_READ);
    ASSERT_EQ(file.SetPosition(10000 - 3), BRAMRESULT_OK);
    std::string bytes(count, '-');
    EXPECT_EQ(file.ReadData(bytes.data(), count), BRAMRESULT_IO_FAILURE);
    EXPECT_EQ(file.GetPosition(), 10000u);
    EXPECT_EQ(bytes.substr(0, 4), "qqq-");
    // Beyond the end: nothing read, position unchanged.
    ASSERT_EQ(file.SetPosition(20000), BRAMRESULT_OK);
    EXPECT_EQ(file.ReadData(bytes.data(), count), BRAMRESULT_IO_FAILURE);
    EXPECT_EQ(file.GetPosition(), 20000u);
  }
}

TEST(BramDataBufferFile, SetSizeCutsOrExtendsAndClampsPosition) {
  KitTempDir dir;
  const std::string path = dir.Sub("f");
  WriteWholeFile(path, "0123456789");
  {
    BramDataBufferFile file(path, BRAMFILE_MODE_READ_WRITE);
    ASSERT_EQ(file.SetPosition(8), BRAMRESULT_OK);
    EXPECT_EQ(file.SetSize(4), BRAMRESULT_OK);
    EXPECT_EQ(file.GetPosition(), 4u);
    EXPECT_EQ(file.SetSize(6), BRAMRESULT_OK);
    EXPECT_EQ(file.GetPosition(), 4u);
    EXPECT_EQ(file.GetSize(), 6u);
  }
  EXPECT_EQ(ReadWholeFile(path), std::string("0123\0\0", 6));

  BramDataBufferFile reader(path, BRAMFILE_MODE_READ);
  EXPECT_EQ(reader.SetSize(1), BRAMRESULT_IO_FAILURE);
  EXPECT_EQ(reader.GetSize(), 6u);
}

TEST(BramDataBufferFile, WriteBeyondEndLeavesZeroGap) {
  KitTempDir dir;
  const std::string path = dir.Sub("f");
  {
    BramDataBufferFile file(path, BRAMFILE_MODE_CREATE);
    ASSERT_EQ(file.SetPosition(5), BRAMRESULT_OK);
    EXPECT_EQ(file.WriteData("abc", 3), BRAMRESULT_OK);
    EXPECT_EQ(file.GetSize(), 8u);
    EXPECT_EQ(file.GetPosition(), 8u);
  }
  EXPECT_EQ(ReadWholeFile(path), std::string("\0\0\0\0\0abc", 8));
}

TEST(BramDataBufferFile, BackslashesSeparatePathComponents) {
  KitTempDir dir;
  std::filesystem::create_directories(dir.Sub("sub/deeper"));
  WriteWholeFile(dir.Sub("sub/deeper/f.txt"), "x");
  BramDataBufferFile file(dir.path() + "\\sub\\deeper/f.txt", BRAMFILE_MODE_READ);
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(file.GetPath(), dir.Sub("sub/deeper/f.txt"));
}

// Mixed small and large reads at random positions must return the file's
// bytes, whichever path (read-ahead window or direct) serves them.
TEST(BramDataBufferFile, MixedReadsReturnFileBytes) {
  KitTempDir dir;
  const std::string path = dir.Sub("f");
  std::mt19937 random(7);
  std::string content(200000, '\0');
  for (char& c : content) c = static_cast<char>(random());
  WriteWholeFile(path, content);

  BramDataBufferFile file(path, BRAMFILE_MODE_READ);
  std::uniform_int_distribution<std::uint32_t> size_of(1, 20000);
  for (int i = 0; i < 400; ++i) {
    std::uint32_t count = size_of(random);
    if (i % 2 == 0) count %= 5000;
    std::uint64_t position = random() % (content.size() - count);
    if (i % 3 == 0) position = file.GetPosition() < content.size() - count ? file.GetPosition() : 0;
    ASSERT_EQ(file.SetPosition(position), BRAMRESULT_OK);
    std::string bytes(count, '\0');
    ASSERT_EQ(file.ReadData(bytes.data(), count), BRAMRESULT_OK);
    ASSERT_EQ(bytes, content.substr(position, count)) << "at " << position << " count " << count;
  }
}

}  // namespace

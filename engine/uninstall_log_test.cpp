#include "engine/uninstall_log.h"

#include <zlib.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "engine/le_fields.h"
#include "foundation/paths.h"
#include "foundation/paths_test_support.h"

namespace BramPatch {
namespace {

std::uint32_t Crc(std::string_view data) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Builds an uninstaller log: a 448-byte header with the given counters and a
// valid CRC, then `data` cut into blocks of 4096 bytes (the last one may be
// shorter).
std::string BuildLog(const std::string& data, std::uint32_t records, std::uint32_t end_offset) {
  std::string log(UNINSTALL_LOG_HEADER_SIZE, '\0');
  for (size_t i = 0; i < UNINSTALL_LOG_HEADER_SIZE; ++i) log[i] = static_cast<char>(i * 7 + 3);
  StoreLe(&log, UNINSTALL_LOG_HEADER_RECORDS, records, 4);
  StoreLe(&log, UNINSTALL_LOG_HEADER_END, end_offset, 4);
  StoreLe(&log, UNINSTALL_LOG_HEADER_CRC, Crc(std::string_view(log).substr(0, 444)), 4);
  for (size_t at = 0; at < data.size(); at += UNINSTALL_LOG_BLOCK_DATA_SIZE) {
    std::string_view block = std::string_view(data).substr(at, UNINSTALL_LOG_BLOCK_DATA_SIZE);
    AppendLe(&log, block.size(), 4);
    AppendLe(&log, ~static_cast<std::uint32_t>(block.size()), 4);
    AppendLe(&log, Crc(block), 4);
    log.append(block);
  }
  return log;
}

// Record data of `size` bytes whose last 28 bytes are recognisable.
std::string RecordData(size_t size) {
  std::string data;
  for (size_t i = 0; i < size; ++i) data.push_back(static_cast<char>('a' + i % 23));
  if (size < 28) return data;
  for (size_t i = 0; i < 28; ++i) data[size - 28 + i] = static_cast<char>(0xE0 + i);
  return data;
}

struct ParsedLog {
  std::uint32_t m_records = 0;
  std::uint32_t m_endOffset = 0;
  std::vector<std::uint32_t> m_blockSizes;
  std::string m_data;
};

// Parses a log, checking every block's size, complement and CRC and the
// header's CRC (failures are reported through gtest).
ParsedLog ParseLog(const std::string& log) {
  ParsedLog parsed;
  EXPECT_GE(log.size(), UNINSTALL_LOG_HEADER_SIZE);
  if (log.size() < UNINSTALL_LOG_HEADER_SIZE) return parsed;
  EXPECT_EQ(LoadLe32(log.data() + 444), Crc(std::string_view(log).substr(0, 444)));
  parsed.m_records = LoadLe32(log.data() + UNINSTALL_LOG_HEADER_RECORDS);
  parsed.m_endOffset = LoadLe32(log.data() + UNINSTALL_LOG_HEADER_END);
  size_t at = UNINSTALL_LOG_HEADER_SIZE;
  while (at < log.size()) {
    EXPECT_LE(at + 12, log.size());
    if (at + 12 > log.size()) break;
    std::uint32_t n = LoadLe32(log.data() + at);
    EXPECT_EQ(LoadLe32(log.data() + at + 4), ~n);
    EXPECT_LE(at + 12 + n, log.size());
    std::string_view data = std::string_view(log).substr(at + 12, n);
    EXPECT_EQ(LoadLe32(log.data() + at + 8), Crc(data));
    parsed.m_blockSizes.push_back(n);
    parsed.m_data.append(data);
    at += 12 + n;
  }
  return parsed;
}

class UninstallLogTest : public ::testing::Test {
 protected:
  UninstallLogTest() { MakeDirectory(m_patch.path()); }

  std::string LogPath() const { return m_install.Sub(UNINSTALL_LOG_NAME); }
  std::string TempPath() const { return m_install.Sub(UNINSTALL_LOG_TEMP_NAME); }

  // Writes the added list of the patch (three lines per path).
  void SetAdded(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& p : paths) text += p + "\r\n0123456789abcdef0123456789abcdef\r\n\r\n";
    WriteTextFile(m_patch.Sub("addedFiles.txt"), text);
  }

  // The relative path that makes install_dir + "/" + it exactly `length` bytes.
  std::string RelativeOfFullLength(size_t length, char fill = 'f') const {
    size_t base = m_install.path().size() + 1;
    EXPECT_GT(length, base + 4);
    return std::string(length - base - 4, fill) + ".txt";
  }

  bool Update() {
    return UpdateUninstallLog(m_install.path(), m_patch.path(),
                              [this](int kind, const std::string& text) {
                                m_posted.push_back(std::to_string(kind) + " " + text);
                              });
  }

  ScopedTempDir m_install;
  ScopedTempDir m_patch;
  std::vector<std::string> m_posted;
};

TEST_F(UninstallLogTest, NoAddedFilesLeavesTheLogUntouched) {
  std::string log = BuildLog(RecordData(5000), 10, 9999);
  WriteTextFile(LogPath(), log);
  SetAdded({});
  EXPECT_TRUE(Update());
  EXPECT_EQ(ReadTextFile(LogPath()), log);
  EXPECT_FALSE(FileExists(TempPath()));
  EXPECT_TRUE(m_posted.empty());
}

TEST_F(UninstallLogTest, MissingAddedListIsPostedAndTheLogUntouched) {
  std::string log = BuildLog(RecordData(5000), 10, 9999);
  WriteTextFile(LogPath(), log);
  EXPECT_TRUE(Update());
  EXPECT_EQ(ReadTextFile(LogPath()), log);
  ASSERT_EQ(m_posted.size(), 1u);
  EXPECT_EQ(m_posted[0], "2 Could not open: " + m_patch.path() +
                             "/addedFiles.txt for reading. The file might not be present");
}

TEST_F(UninstallLogTest, InstallationWithoutLogSucceeds) {
  SetAdded({"new.txt"});
  EXPECT_TRUE(Update());
  EXPECT_FALSE(FileExists(LogPath()));
  EXPECT_FALSE(FileExists(TempPath()));
}

TEST_F(UninstallLogTest, OneFortyBytePathIntoAThousandByteLastBlock) {
  std::string old_data = RecordData(2 * 4096 + 1000);
  std::string log = BuildLog(old_data, 37, 123456);
  WriteTextFile(LogPath(), log);
  std::string relative = RelativeOfFullLength(40);
  SetAdded({relative});

  std::filesystem::create_hard_link(LogPath(), m_install.Sub("old-log-link"));
  ASSERT_TRUE(Update());
  std::string updated = ReadTextFile(LogPath());
  // The old log was replaced by a new file, not rewritten in place.
  EXPECT_EQ(ReadTextFile(m_install.Sub("old-log-link")), log);
  EXPECT_FALSE(FileExists(TempPath()));

  ParsedLog parsed = ParseLog(updated);
  EXPECT_EQ(parsed.m_blockSizes, (std::vector<std::uint32_t>{4096, 4096, 1052}));
  EXPECT_EQ(parsed.m_records, 38u);
  EXPECT_EQ(parsed.m_endOffset, 123456u + 64u);
  // Header bytes other than the counters and the CRC are copied unchanged,
  // and so are the full blocks before the last.
  EXPECT_EQ(updated.substr(0, 324), log.substr(0, 324));
  EXPECT_EQ(updated.substr(332, 112), log.substr(332, 112));
  EXPECT_EQ(updated.substr(448, 2 * 4108), log.substr(448, 2 * 4108));

  std::string full = m_install.path() + "/" + relative;
  ASSERT_EQ(full.size(), 40u);
  std::string record =
      std::string("\x82\x00\x00\x00\x00\x00\x2A\x00\x00\x00\x28", 11) + full + "\xFF";
  EXPECT_EQ(parsed.m_data, old_data.substr(0, old_data.size() - 28) + record +
                               old_data.substr(old_data.size() - 28));
  EXPECT_EQ(updated.size(), log.size() + 52);
}

TEST(UninstallLogRecord, LengthPrefixForms) {
  struct Case {
    size_t length;
    std::uint32_t data_size;
    std::string prefix;
  };
  const Case cases[] = {
      {0, 2, std::string("\x00", 1)},
      {252, 254, "\xFC"},
      {253, 257, std::string("\xFD\xFD\x00", 3)},
      {300, 304, std::string("\xFD\x2C\x01", 3)},
      {65535, 65539, "\xFD\xFF\xFF"},
      {65536, 65542, std::string("\xFE\x00\x00\x01\x00", 5)},
  };
  for (const Case& c : cases) {
    std::string path(c.length, 'p');
    std::string record = BuildDeleteFileRecord(path);
    ASSERT_EQ(record.size(), 10 + c.prefix.size() + c.length + 1) << c.length;
    EXPECT_EQ(LoadLe(record.data(), 2), 0x0082u);
    EXPECT_EQ(LoadLe32(record.data() + 2), 0u);
    EXPECT_EQ(LoadLe32(record.data() + 6), c.data_size) << c.length;
    EXPECT_EQ(record.substr(10, c.prefix.size()), c.prefix) << c.length;
    EXPECT_EQ(record.substr(10 + c.prefix.size(), c.length), path);
    EXPECT_EQ(record.back(), '\xFF');
  }
}

TEST_F(UninstallLogTest, PathsAreWrittenInTheNarrowForm) {
  WriteTextFile(LogPath(), BuildLog(RecordData(100), 1, 100));
  SetAdded({"caf\xC3\xA9\\\xE2\x80\x9Cq\xE2\x80\x9D.txt"});  // café\“q”.txt
  ASSERT_TRUE(Update());
  ParsedLog parsed = ParseLog(ReadTextFile(LogPath()));
  std::string expected = m_install.path() + "/caf?/\x93q\x94.txt";
  EXPECT_NE(parsed.m_data.find(expected + "\xFF"), std::string::npos);
}

TEST_F(UninstallLogTest, OverflowSplitsIntoValidBlocks) {
  std::string old_data = RecordData(4096 + 3000);
  std::string log = BuildLog(old_data, 5, 1000);
  WriteTextFile(LogPath(), log);
  std::vector<std::string> added;
  std::string records;
  for (int i = 0; i < 300; ++i) {
    added.push_back("dir\\file" + std::to_string(i) + ".dat");
    records += BuildDeleteFileRecord(m_install.path() + "/dir/file" + std::to_string(i) + ".dat");
  }
  SetAdded(added);
  ASSERT_TRUE(Update());
  ParsedLog parsed = ParseLog(ReadTextFile(LogPath()));
  std::string expected =
      old_data.substr(0, old_data.size() - 28) + records + old_data.substr(old_data.size() - 28);
  EXPECT_EQ(parsed.m_data, expected);
  size_t blocks = parsed.m_blockSizes.size();
  ASSERT_GE(blocks, 4u);
  for (size_t i = 0; i + 1 < blocks; ++i) EXPECT_EQ(parsed.m_blockSizes[i], 4096u) << i;
  EXPECT_EQ(parsed.m_blockSizes.back(), expected.size() - 4096 * (blocks - 1));
  EXPECT_EQ(parsed.m_records, 305u);
  // One block header for every block written from the old last block on.
  EXPECT_EQ(parsed.m_endOffset, 1000u + records.size() + 12 * (blocks - 1));
}

// Layouts the update must extend without breaking the block structure: a
// full last block, and a last block shorter than the final record (which
// then spans two blocks).
TEST_F(UninstallLogTest, FullOrTinyLastBlockKeepsTheFinalRecordLast) {
  for (size_t size : {size_t{4096}, size_t{8192}, size_t{4096 + 10}, size_t{28}}) {
    std::string old_data = RecordData(size);
    WriteTextFile(LogPath(), BuildLog(old_data, 1, 0));
    SetAdded({"a.txt", "b.txt"});
    ASSERT_TRUE(Update()) << size;
    std::string records = BuildDeleteFileRecord(m_install.path() + "/a.txt") +
                          BuildDeleteFileRecord(m_install.path() + "/b.txt");
    ParsedLog parsed = ParseLog(ReadTextFile(LogPath()));
    EXPECT_EQ(parsed.m_data, old_data.substr(0, size - 28) + records + old_data.substr(size - 28))
        << size;
    for (size_t i = 0; i + 1 < parsed.m_blockSizes.size(); ++i) {
      EXPECT_EQ(parsed.m_blockSizes[i], 4096u) << size;
    }
    EXPECT_EQ(parsed.m_records, 3u);
  }
}

TEST_F(UninstallLogTest, LayoutsThatCannotBeExtendedAreLeftUntouched) {
  std::string good = BuildLog(RecordData(5000), 1, 0);
  std::string damaged_crc = good;
  damaged_crc[good.size() - 1] ^= 1;  // last block's data no longer matches its CRC
  std::string bad_complement = good;
  bad_complement[448 + 4108 + 4] ^= 1;
  const std::string cases[] = {
      good.substr(0, 300),             // shorter than the header
      good.substr(0, 448 + 4108 + 7),  // ends inside a block header
      BuildLog(RecordData(20), 1, 0),  // fewer bytes than the final record
      damaged_crc,
      bad_complement,
  };
  SetAdded({"a.txt"});
  for (const std::string& log : cases) {
    WriteTextFile(LogPath(), log);
    EXPECT_TRUE(Update());
    EXPECT_EQ(ReadTextFile(LogPath()), log);
    EXPECT_FALSE(FileExists(TempPath()));
  }
}

TEST_F(UninstallLogTest, TemporaryFileThatCannotBeCreatedFails) {
  std::string log = BuildLog(RecordData(5000), 1, 0);
  WriteTextFile(LogPath(), log);
  ASSERT_TRUE(MakeDirectory(TempPath()));  // a directory in the temporary file's place
  SetAdded({"a.txt"});
  EXPECT_FALSE(Update());
  EXPECT_EQ(ReadTextFile(LogPath()), log);
}

TEST_F(UninstallLogTest, StaleTemporaryLinkIsNotFollowedAndPermissionsStay) {
  WriteTextFile(LogPath(), BuildLog(RecordData(500), 1, 0));
  std::filesystem::permissions(
      LogPath(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  WriteTextFile(m_patch.Sub("victim.txt"), "keep me");
  std::filesystem::create_symlink(m_patch.Sub("victim.txt"), TempPath());
  SetAdded({"a.txt"});
  ASSERT_TRUE(Update());
  EXPECT_EQ(ReadTextFile(m_patch.Sub("victim.txt")), "keep me");
  EXPECT_EQ(ParseLog(ReadTextFile(LogPath())).m_records, 2u);
  EXPECT_EQ(std::filesystem::status(LogPath()).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_FALSE(std::filesystem::is_symlink(LogPath()));
}

TEST_F(UninstallLogTest, UnsafeAddedPathFailsAndIsPosted) {
  std::string log = BuildLog(RecordData(5000), 1, 0);
  WriteTextFile(LogPath(), log);
  SetAdded({"ok.txt", "..\\..\\outside.txt"});
  EXPECT_FALSE(Update());
  EXPECT_EQ(ReadTextFile(LogPath()), log);
  ASSERT_EQ(m_posted.size(), 1u);
  EXPECT_NE(m_posted[0].find("unsafe path"), std::string::npos) << m_posted[0];
}

}  // namespace
}  // namespace BramPatch

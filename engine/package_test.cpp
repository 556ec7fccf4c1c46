#include <filesystem>

#include <gtest/gtest.h>

#include "engine/archive_writer.h"
#include "engine/engine_test_support.h"
#include "engine/le_fields.h"
#include "engine/package_reader.h"
#include "engine/package_writer.h"
#include "engine/temp_directory.h"
#include "foundation/paths.h"
#include "kit/file_checksum.h"

namespace BramPatch {
namespace {

constexpr const char* EMPTY_MD5 = "d41d8cd98f00b204e9800998ecf8427e";

class PackageTest : public ::testing::Test {
 protected:
  PackageTest() {
    WriteTextFile(Exe(), RandomBytes(10000, 11));
    MakeArchive("100.zip", {{"addedFiles.txt", "a\r\nb\r\n\r\n"}, {"x.txt", "build 100"}});
    MakeArchive("101.zip", {{"patchedFiles.txt", ""}, {"y.txt", RandomBytes(5000, 12)}});
    WriteTree(Install(), {{"bin/Launcher.exe", "launcher at 100"}});
    EXPECT_TRUE(ComputeFileChecksum(Install() + "/bin/Launcher.exe", &m_launcherMd5));
  }

  std::string Exe() const { return m_work.Sub("patcher"); }
  std::string Package() const { return m_work.Sub("patcher-package"); }
  std::string Install() const { return m_work.Sub("install"); }
  std::string Archive(const std::string& name) const { return m_work.Sub(name); }

  void MakeArchive(const std::string& name, const Tree& tree) {
    ScopedTempDir source;
    WriteTree(source.path(), tree);
    std::string error;
    ASSERT_TRUE(PackDirectory(source.path(), Archive(name), &error)) << error;
  }

  PackageInput Input(const std::string& source, const std::string& target,
                     const std::string& archive, const std::string& md5) {
    PackageInput input;
    input.m_record.m_identifyingFile = "bin\\Launcher.exe";
    input.m_record.m_checksum = md5;
    input.m_record.m_sourceVersion = source;
    input.m_record.m_targetVersion = target;
    input.m_archivePath = Archive(archive);
    return input;
  }

  // 100 -> 101 -> 102, the first matching the installed launcher.
  std::vector<PackageInput> Chain() {
    return {Input("100", "101", "100.zip", m_launcherMd5),
            Input("101", "102", "101.zip", EMPTY_MD5)};
  }

  void WriteChain() {
    std::string error;
    ASSERT_TRUE(WritePackage(Exe(), Chain(), Package(), &error)) << error;
  }

  ScopedTempDir m_work;
  std::string m_launcherMd5;
};

TEST_F(PackageTest, WrittenPackageReadsBack) {
  WriteChain();
  std::string bytes = ReadTextFile(Package());
  EXPECT_EQ(bytes.substr(0, 10000), ReadTextFile(Exe()));
  EXPECT_EQ(bytes.substr(10000, 12288 - 10000), std::string(12288 - 10000, '\0'));

  PatchPackage package;
  ASSERT_EQ(package.OpenPackage(Package()), BRAMRESULT_OK);
  EXPECT_EQ(package.GetHeaderOffset(), 12288u);
  EXPECT_EQ(package.GetHeader()->m_totalSize, bytes.size());
  EXPECT_EQ(package.GetHeader()->m_recordCount, 2u);
  EXPECT_EQ(package.GetHeader()->m_tableOffset, bytes.size() - 2 * 468);

  std::vector<PackageRecord> records;
  ASSERT_EQ(package.ReadRecords(&records), BRAMRESULT_OK);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].m_archiveOffset, 12288u + 28);  // the first archive follows the header
  EXPECT_EQ(records[1].m_archiveOffset, records[0].m_archiveOffset + records[0].m_archiveLength);
  EXPECT_EQ(records[1].m_sourceVersion, "101");
  EXPECT_EQ(records[1].m_identifyingFile, "bin\\Launcher.exe");

  EXPECT_EQ(package.GetTargetVersion("100"), "101");
  EXPECT_EQ(package.GetTargetVersion("101"), "102");
  EXPECT_EQ(package.GetTargetVersion("102"), "");
  EXPECT_EQ(package.GetTargetVersion("10"), "");  // whole-text comparison
  EXPECT_EQ(package.FindApplicableVersions(Install()), (std::vector<std::string>{"100"}));

  for (const char* version : {"100", "101"}) {
    std::string out = m_work.Sub(std::string("out-") + version + ".zip");
    ASSERT_EQ(package.ExtractArchive(version, out), BRAMRESULT_OK);
    EXPECT_EQ(ReadTextFile(out), ReadTextFile(Archive(std::string(version) + ".zip")));
  }
  // The written package keeps the executable's permissions.
  EXPECT_EQ(std::filesystem::status(Package()).permissions(),
            std::filesystem::status(Exe()).permissions());
}

TEST_F(PackageTest, OpenResults) {
  WriteChain();
  const std::string good = ReadTextFile(Package());
  // The header moved to an offset that is not a multiple of 4096.
  std::string shifted = good.substr(0, 12288) + std::string(100, '\0') + good.substr(12288);
  // Magic bytes in the image at a 4096 boundary, before the real header.
  std::string decoy = good;
  decoy.replace(4096, 8, "B0r1a2m3");
  const std::pair<std::string, BramResult> cases[] = {
      {ReadTextFile(Exe()), BRAMRESULT_UNSUPPORTED},
      {"", BRAMRESULT_UNSUPPORTED},
      {shifted, BRAMRESULT_UNSUPPORTED},
      {good + "x", BRAMRESULT_IO_FAILURE},
      {good.substr(0, good.size() - 1), BRAMRESULT_IO_FAILURE},
      {decoy, BRAMRESULT_OK},
      {good, BRAMRESULT_OK},
  };
  for (const auto& [bytes, expected] : cases) {
    WriteTextFile(Package(), bytes);
    PatchPackage package;
    EXPECT_EQ(package.OpenPackage(Package()), expected) << bytes.size();
  }
  PatchPackage package;
  EXPECT_EQ(package.OpenPackage(m_work.Sub("missing")), BRAMRESULT_IO_FAILURE);
  EXPECT_EQ(package.ExtractArchive("100", m_work.Sub("out.zip")), BRAMRESULT_NOT_OPEN);
  EXPECT_TRUE(package.FindApplicableVersions(Install()).empty());
  EXPECT_FALSE(FileExists(m_work.Sub("out.zip")));
}

TEST_F(PackageTest, SameIdentifyingFileInTwoRecordsYieldsBoth) {
  std::vector<PackageInput> inputs = {Input("100", "102", "100.zip", m_launcherMd5),
                                      Input("200", "202", "101.zip", EMPTY_MD5),
                                      Input("101", "102", "101.zip", m_launcherMd5)};
  std::string error;
  ASSERT_TRUE(WritePackage(Exe(), inputs, Package(), &error)) << error;
  PatchPackage package;
  ASSERT_EQ(package.OpenPackage(Package()), BRAMRESULT_OK);
  EXPECT_EQ(package.FindApplicableVersions(Install()), (std::vector<std::string>{"100", "101"}));
  ScopedTempDir no_install;
  EXPECT_TRUE(package.FindApplicableVersions(no_install.path()).empty());
}

TEST_F(PackageTest, ExtractFailures) {
  WriteChain();
  PatchPackage package;
  ASSERT_EQ(package.OpenPackage(Package()), BRAMRESULT_OK);
  EXPECT_EQ(package.ExtractArchive("999", m_work.Sub("none.zip")), BRAMRESULT_NOT_FOUND);
  EXPECT_FALSE(FileExists(m_work.Sub("none.zip")));
  EXPECT_EQ(package.ExtractArchive("100", m_work.Sub("no/such/dir/x.zip")), BRAMRESULT_NOT_ALLOWED);

  // Records whose archive lies outside the file.
  const std::string good = ReadTextFile(Package());
  const size_t record = good.size() - 2 * 468;
  struct Case {
    std::uint64_t offset;
    std::uint64_t length;
  };
  const Case cases[] = {
      {good.size() + 1, 0},
      {12316, good.size()},
      {~std::uint64_t{0} - 5, 10},  // wraps around
      {12316, ~std::uint64_t{0}},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    StoreLe(&bytes, record + 452, c.offset, 8);
    StoreLe(&bytes, record + 460, c.length, 8);
    WriteTextFile(Package(), bytes);
    ASSERT_EQ(package.OpenPackage(Package()), BRAMRESULT_OK);
    EXPECT_EQ(package.ExtractArchive("100", m_work.Sub("bad.zip")), BRAMRESULT_END_OF_DATA)
        << c.offset << " " << c.length;
    EXPECT_FALSE(FileExists(m_work.Sub("bad.zip")));
  }

  // A record table that runs past the end of the file.
  std::string bytes = good;
  StoreLe(&bytes, 12288 + 12, 3, 4);  // three records claimed, two present
  WriteTextFile(Package(), bytes);
  ASSERT_EQ(package.OpenPackage(Package()), BRAMRESULT_OK);
  EXPECT_EQ(package.ExtractArchive("nope", m_work.Sub("bad.zip")), BRAMRESULT_IO_FAILURE);
  EXPECT_EQ(package.GetTargetVersion("101"), "102");
}

TEST_F(PackageTest, UnsafeIdentifyingFileNeverMatches) {
  WriteTextFile(m_work.Sub("secret.txt"), "launcher at 100");
  std::vector<PackageInput> inputs = {Input("100", "101", "100.zip", m_launcherMd5)};
  inputs[0].m_record.m_identifyingFile = "..\\secret.txt";
  std::string error;
  ASSERT_TRUE(WritePackage(Exe(), inputs, Package(), &error)) << error;
  PatchPackage package;
  ASSERT_EQ(package.OpenPackage(Package()), BRAMRESULT_OK);
  EXPECT_TRUE(package.FindApplicableVersions(Install()).empty());
}

TEST_F(PackageTest, RepackagingReplacesTheOldPackage) {
  WriteChain();
  std::string error;
  std::vector<PackageInput> inputs = {Input("300", "301", "101.zip", EMPTY_MD5)};
  ASSERT_TRUE(WritePackage(Package(), inputs, Package(), &error)) << error;
  PatchPackage package;
  ASSERT_EQ(package.OpenPackage(Package()), BRAMRESULT_OK);
  EXPECT_EQ(package.GetHeaderOffset(), 12288u);
  EXPECT_EQ(package.GetHeader()->m_recordCount, 1u);
  EXPECT_EQ(package.GetTargetVersion("100"), "");
  EXPECT_EQ(ReadTextFile(Package()).substr(0, 10000), ReadTextFile(Exe()));
}

TEST_F(PackageTest, WriterRefusesBadInput) {
  struct Case {
    std::vector<PackageInput> inputs;
    std::string expected;
  };
  std::vector<PackageInput> long_build = {Input(std::string(32, '1'), "2", "100.zip", EMPTY_MD5)};
  std::vector<PackageInput> upper = {
      Input("1", "2", "100.zip", "D41D8CD98F00B204E9800998ECF8427E")};
  std::vector<PackageInput> duplicate = {Input("1", "2", "100.zip", EMPTY_MD5),
                                         Input("1", "3", "101.zip", EMPTY_MD5)};
  WriteTextFile(m_work.Sub("not-an-archive.zip"), "PK\x03\x04");
  std::vector<PackageInput> foreign = {Input("1", "2", "not-an-archive.zip", EMPTY_MD5)};
  std::vector<PackageInput> long_path = {Input("1", "2", "100.zip", EMPTY_MD5)};
  long_path[0].m_record.m_identifyingFile = std::string(256, 'p');
  const Case cases[] = {
      {{}, "at least one"},
      {long_build, "longer than 31"},
      {upper, "lowercase"},
      {duplicate, "two archives for source build 1"},
      {foreign, "not-an-archive.zip"},
      {long_path, "longer than 255"},
      {{Input("", "2", "100.zip", EMPTY_MD5)}, "empty"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(WritePackage(Exe(), c.inputs, Package(), &error)) << c.expected;
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_FALSE(FileExists(Package()));
  }
}

TEST_F(PackageTest, RecordTextFieldsEndAtTheirLastByte) {
  PackageRecord record;
  record.m_identifyingFile = "bin\\Launcher.exe";
  std::string bytes = EncodePackageRecord(record);
  ASSERT_EQ(bytes.size(), 468u);
  std::fill(bytes.begin() + 388, bytes.begin() + 420, '7');  // no NUL in the source field
  EXPECT_EQ(
      DecodePackageRecord(reinterpret_cast<const std::uint8_t*>(bytes.data())).m_sourceVersion,
      std::string(31, '7'));
}

TEST(TempDirectory, FreshDirectoriesNestWhenTheSettingIsKept) {
  ScopedTempDir temp;
  std::string setting = temp.path();
  ASSERT_TRUE(MakeUniqueTempDirectory(&setting));
  EXPECT_TRUE(IsDirectory(setting));
  EXPECT_EQ(setting.rfind(temp.path() + "/file", 0), 0u);
  std::string first = setting;
  ASSERT_TRUE(MakeUniqueTempDirectory(&setting));
  EXPECT_EQ(setting.rfind(first + "/file", 0), 0u);

  std::string other = temp.path();
  ASSERT_TRUE(MakeUniqueTempDirectory(&other));
  EXPECT_NE(other, first);  // an existing name is never reused

  WriteTextFile(temp.Sub("plain.txt"), "x");
  std::string blocked = temp.Sub("plain.txt");
  EXPECT_FALSE(MakeUniqueTempDirectory(&blocked));
  EXPECT_EQ(blocked, "");
}

}  // namespace
}  // namespace BramPatch

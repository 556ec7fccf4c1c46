#include "kit/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "kit/file_checksum.h"
#include "kit/kit_test_support.h"

namespace {

std::string DigestOf(const std::string& bytes) {
  MD5 md5;
  md5.update(bytes.data(), bytes.size());
  md5.finalize();
  return md5.hex_digest();
}

TEST(MD5, Rfc1321TestSuite) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(DigestOf(c.message), c.digest) << '"' << c.message << '"';
}

// However the bytes are split into update() calls, the digest is the same:
// every split point of the 80-byte vector, and many odd-sized pieces.
TEST(MD5, DigestDoesNotDependOnUpdatePieces) {
  const std::string message(
      "12345678901234567890123456789012345678901234567890123456789012345678901234567890");
  for (std::size_t split = 0; split <= message.size(); ++split) {
    MD5 md5;
    md5.update(message.data(), split);
    md5.update(message.data() + split, message.size() - split);
    md5.finalize();
    EXPECT_EQ(md5.hex_digest(), "57edf4a22be3c955ac49da2e2107b67a") << split;
  }
  const std::string million(1000000, 'a');
  MD5 md5;
  for (std::size_t at = 0; at < million.size(); at += 997) {
    md5.update(million.data() + at, std::min<std::size_t>(997, million.size() - at));
  }
  md5.finalize();
  EXPECT_EQ(md5.hex_digest(), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(MD5, MisuseIsReportedOnStandardErrorAndChangesNothing) {
  MD5 open;
  testing::internal::CaptureStderr();
  EXPECT_EQ(open.hex_digest(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "MD5::hex_digest:  Can't get digest if you haven't finalized the digest!\n");

  MD5 md5;
  md5.update("abc", 3);
  md5.finalize();
  testing::internal::CaptureStderr();
  md5.update("more", 4);
  md5.finalize();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "MD5::update:  Can't update a finalized digest!\n"
            "MD5::finalize:  Already finalized this digest!\n");
  EXPECT_EQ(md5.hex_digest(), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(MD5, StreamConstructorReadsAndClosesTheFile) {
  KitTempDir dir;
  WriteWholeFile(dir.Sub("abc"), "abc");
  MD5 md5(std::fopen(dir.Sub("abc").c_str(), "rb"));
  EXPECT_EQ(md5.hex_digest(), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(ComputeFileChecksum, DigestsWholeFiles) {
  KitTempDir dir;
  const struct {
    std::string content;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      // Longer than one read piece.
      {std::string(2500000, 'a'), "810b761e68a4f58192e0448bc415517e"},
  };
  for (const auto& c : cases) {
    WriteWholeFile(dir.Sub("f"), c.content);
    std::string checksum;
    EXPECT_TRUE(ComputeFileChecksum(dir.Sub("f"), &checksum));
    EXPECT_EQ(checksum, c.digest) << c.content.size();
  }
  std::filesystem::create_directory(dir.Sub("sub"));
  WriteWholeFile(dir.Sub("sub/abc"), "abc");
  std::string checksum;
  EXPECT_TRUE(ComputeFileChecksum(dir.path() + "\\sub\\abc", &checksum));
  EXPECT_EQ(checksum, "900150983cd24fb0d6963f7d28e17f72");
}

TEST(ComputeFileChecksum, FileThatCannotBeReadLeavesChecksumUnchanged) {
  KitTempDir dir;
  for (const std::string& path : {dir.Sub("missing"), dir.path()}) {
    std::string checksum = "previous";
    EXPECT_FALSE(ComputeFileChecksum(path, &checksum)) << path;
    EXPECT_EQ(checksum, "previous");
  }
}

}  // namespace

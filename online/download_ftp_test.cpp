// DownloadURL, GetURLSize and BramFTP over ftp against vsftpd and the
// pyftpdlib fault server.
#include "online/bram_ftp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kit/data_buffer_memory_dynamic.h"
#include "online/download_url.h"
#include "online/online_test_servers.h"
#include "online/online_test_support.h"

namespace {

using namespace online_test;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

int Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

class FtpDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.Start());
    m_server.WriteFile("builds/archive.zip", m_body);
  }

  ShortTimeouts m_timeouts;
  VsftpdServer m_server;
  const std::string m_body = RandomBytes(100000, 2);
};

// The URL's port is the one connected to (an ftp server named with its port
// must be reachable), and the path is relative to the login directory.
TEST_F(FtpDownload, FetchesFromTheURLsPort) {
  BramDataBufferMemoryDynamic buffer;
  CaptureStdout();
  ASSERT_EQ(DownloadURL(m_server.Url("builds/archive.zip"), buffer, 0, nullptr), BRAMRESULT_OK);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(Contents(buffer), m_body);
  const std::vector<std::string> commands = m_server.Commands();
  EXPECT_EQ(Count(commands, "USER anonymous"), 1);
  EXPECT_EQ(Count(commands, "RETR archive.zip"), 1);
  EXPECT_EQ(Count(commands, "CWD builds"), 1);

  std::uint64_t size = 0;
  ASSERT_EQ(GetURLSize(m_server.Url("builds/archive.zip"), &size), BRAMRESULT_OK);
  EXPECT_EQ(size, m_body.size());
}

TEST_F(FtpDownload, ResumesAtTheBuffersSize) {
  BramDataBufferMemoryDynamic buffer;
  Fill(buffer, std::string(1000, 'X'));  // not the file's bytes: shows they were kept
  CaptureStdout();
  ASSERT_EQ(DownloadURL(m_server.Url("builds/archive.zip"), buffer, 0, nullptr), BRAMRESULT_OK);
  EXPECT_EQ(GetCapturedStdout(),
            "BramFTP::GetFileAtPath> resuming download of \"builds/archive.zip\" at byte 1000.\n");
  EXPECT_EQ(Contents(buffer), std::string(1000, 'X') + m_body.substr(1000));
  EXPECT_EQ(Count(m_server.Commands(), "REST 1000"), 1);
}

TEST_F(FtpDownload, ACompleteBufferStaysAsItIs) {
  BramDataBufferMemoryDynamic buffer;
  Fill(buffer, m_body);
  ASSERT_EQ(DownloadURL(m_server.Url("builds/archive.zip"), buffer, 0, nullptr), BRAMRESULT_OK);
  EXPECT_EQ(Contents(buffer), m_body);
}

// A buffer longer than the file cannot be its start: both resume tries fail,
// the buffer is emptied and the file fetched whole.
TEST_F(FtpDownload, ABufferLongerThanTheFileIsFetchedAfresh) {
  BramDataBufferMemoryDynamic buffer;
  Fill(buffer, std::string(m_body.size() + 10, 'X'));
  CaptureStdout();
  ASSERT_EQ(DownloadURL(m_server.Url("builds/archive.zip"), buffer, 0, nullptr), BRAMRESULT_OK);
  EXPECT_EQ(GetCapturedStdout(),
            "BramFTP::GetFileAtPath> unable to resume download of \"builds/archive.zip\" "
            "(error 12003).\n");
  EXPECT_EQ(Contents(buffer), m_body);
}

TEST_F(FtpDownload, AMissingFileFailsEveryAttempt) {
  BramDataBufferMemoryDynamic buffer;
  CaptureStdout();
  EXPECT_EQ(DownloadURL(m_server.Url("builds/missing.zip"), buffer, 0, nullptr),
            BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(SplitLines(GetCapturedStdout()),
            std::vector<std::string>(11, "FtpOpenFile returned 12003."));
  EXPECT_EQ(Count(m_server.Commands(), "USER anonymous"), 11);
  EXPECT_EQ(buffer.GetSize(), 0u);

  std::uint64_t size = 5;
  CaptureStdout();
  EXPECT_EQ(GetURLSize(m_server.Url("builds/missing.zip"), &size), BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(SplitLines(GetCapturedStdout()),
            std::vector<std::string>(5, "FtpOpenFile returned 12003."));
  EXPECT_EQ(size, 0u);

  // A directory is not fetched as its listing.
  for (const std::string& url : {m_server.Url("builds/"), m_server.Url("")}) {
    SCOPED_TRACE(url);
    CancelAfter stop_retrying(0);
    CaptureStdout();
    EXPECT_EQ(DownloadURL(url, buffer, 0, &stop_retrying), BRAMRESULT_TRANSFER_FAILED);
    EXPECT_EQ(GetCapturedStdout(), "FtpOpenFile returned 12003.\n");
    EXPECT_EQ(buffer.GetSize(), 0u);
  }
}

TEST_F(FtpDownload, CallbackStopsBeforeTheNextChunkAndEndsTheRetries) {
  BramDataBufferMemoryDynamic buffer;
  CancelAfter cancel(2);
  EXPECT_EQ(DownloadURL(m_server.Url("builds/archive.zip"), buffer, 0, &cancel),
            BRAMRESULT_ABORTED);
  EXPECT_EQ(cancel.Calls(), 4);  // two chunks, the refused third, the retry check
  // FTP keeps what arrived: the first two chunks, for a later resume.
  const std::string kept = Contents(buffer);
  EXPECT_GT(kept.size(), 0u);
  EXPECT_LE(kept.size(), 2 * 16384u);
  EXPECT_EQ(kept, m_body.substr(0, kept.size()));
  EXPECT_EQ(Count(m_server.Commands(), "RETR archive.zip"), 1);
}

TEST_F(FtpDownload, AFileAboveTheLimitFailsAtOnce) {
  BramDataBufferMemoryDynamic buffer;
  CaptureStdout();
  EXPECT_EQ(DownloadURL(m_server.Url("builds/archive.zip"), buffer, 0, nullptr, 50000),
            BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(GetCapturedStdout(),
            "BramFTP::GetFileAtPath> \"builds/archive.zip\" holds more than 50000 bytes\n");
  EXPECT_LE(buffer.GetSize(), 50000u);
  EXPECT_EQ(Count(m_server.Commands(), "RETR archive.zip"), 1);
}

TEST_F(FtpDownload, BramFTPNeedsAnOpenConnection) {
  BramFTP ftp;
  BramDataBufferMemoryDynamic buffer;
  std::uint64_t size = 0;
  EXPECT_EQ(ftp.GetFileAtPath("builds/archive.zip", buffer, nullptr), BRAMRESULT_NOT_OPEN);
  EXPECT_EQ(ftp.GetFileSize("builds/archive.zip", &size), BRAMRESULT_NOT_OPEN);

  const int closed_port = FreePort();
  CaptureStdout();
  EXPECT_EQ(ftp.Open("127.0.0.1", "", "", BRAMFTP_FLAG_PASSIVE, closed_port),
            BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(GetCapturedStdout(),
            "BramFTP::Open> Connection to \"127.0.0.1\" failed with error 12029\n");
  EXPECT_EQ(ftp.GetFileAtPath("builds/archive.zip", buffer, nullptr), BRAMRESULT_NOT_OPEN);

  // Active data connections (flag bit 0 clear) work too.
  ASSERT_EQ(ftp.Open("127.0.0.1", "", "", 0, m_server.Port()), BRAMRESULT_OK);
  ASSERT_EQ(ftp.GetFileSize("builds/archive.zip", &size), BRAMRESULT_OK);
  EXPECT_EQ(size, m_body.size());
  ASSERT_EQ(ftp.GetFileAtPath("builds/archive.zip", buffer, nullptr), BRAMRESULT_OK);
  EXPECT_EQ(Contents(buffer), m_body);
  const std::vector<std::string> commands = m_server.Commands();
  EXPECT_TRUE(std::any_of(commands.begin(), commands.end(), [](const std::string& c) {
    return c.rfind("EPRT ", 0) == 0 || c.rfind("PORT ", 0) == 0;
  }));
}

TEST(FtpFaults, RefusedRestTwiceEmptiesTheBufferAndFetchesAll) {
  ShortTimeouts timeouts;
  FaultServer server;
  ASSERT_TRUE(server.StartFtp("norest"));
  const std::string body = RandomBytes(5000, 3);
  WriteTextFile(server.Root() + "/archive.zip", body);
  BramDataBufferMemoryDynamic buffer;
  Fill(buffer, body.substr(0, 1000));
  CaptureStdout();
  ASSERT_EQ(DownloadURL(server.Url("ftp", "archive.zip"), buffer, 0, nullptr), BRAMRESULT_OK);
  EXPECT_EQ(GetCapturedStdout(),
            "BramFTP::GetFileAtPath> unable to resume download of \"archive.zip\" "
            "(error 12003).\n");
  EXPECT_EQ(Contents(buffer), body);
  EXPECT_EQ(server.Requests(),
            (std::vector<std::string>{"REST 1000", "REST 1000", "RETR archive.zip 0"}));
}

// Every attempt after a dropped transfer resumes where the buffer ends.
TEST(FtpFaults, DroppedTransfersResumeWhereTheyStopped) {
  ShortTimeouts timeouts;
  FaultServer server;
  ASSERT_TRUE(server.StartFtp("drop:1500"));
  const std::string body = RandomBytes(5000, 4);
  WriteTextFile(server.Root() + "/archive.zip", body);
  BramDataBufferMemoryDynamic buffer;
  CaptureStdout();
  ASSERT_EQ(DownloadURL(server.Url("ftp", "archive.zip"), buffer, 0, nullptr), BRAMRESULT_OK);
  const std::string dropped = "InternetReadFile returned 12030 with actualByteCount=0";
  const std::string resumed =
      "BramFTP::GetFileAtPath> resuming download of \"archive.zip\" at byte ";
  EXPECT_EQ(SplitLines(GetCapturedStdout()),
            (std::vector<std::string>{dropped, resumed + "1500.", dropped, resumed + "3000.",
                                      dropped, resumed + "4500."}));
  EXPECT_EQ(Contents(buffer), body);
  EXPECT_EQ(server.Requests(),
            (std::vector<std::string>{"RETR archive.zip 0", "REST 1500", "RETR archive.zip 1500",
                                      "REST 3000", "RETR archive.zip 3000", "REST 4500",
                                      "RETR archive.zip 4500"}));
}

}  // namespace

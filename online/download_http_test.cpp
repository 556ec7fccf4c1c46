// DownloadURL and GetURLSize over http and https against nginx and the HTTP
// fault server.
#include "online/download_url.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kit/data_buffer_file.h"
#include "kit/data_buffer_memory_dynamic.h"
#include "online/online_test_servers.h"
#include "online/online_test_support.h"

namespace {

using namespace online_test;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class HttpDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_nginx.Start());
    m_nginx.WriteFile("archive.zip", m_body);
  }

  // The requests nginx logged for `uri`. nginx logs a request when it has
  // finished with it, which may be just after our side is done: wait a
  // little (bounded) for `expected` lines.
  std::vector<std::string> RequestsFor(const std::string& uri, size_t expected) {
    std::vector<std::string> found;
    for (int i = 0; i < 100; ++i) {
      found.clear();
      for (const std::string& line : m_nginx.AccessLog()) {
        if (line.rfind("GET " + uri + " ", 0) == 0) found.push_back(line);
      }
      if (found.size() >= expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return found;
  }

  ShortTimeouts m_timeouts;
  ScopedEnv m_bundle{"CURL_CA_BUNDLE", nullptr};
  ScopedEnv m_cert_file{"SSL_CERT_FILE", nullptr};
  NginxServer m_nginx;
  const std::string m_body = RandomBytes(100000, 1);  // several chunks
};

TEST_F(HttpDownload, StoresTheBodyAtTheBufferPosition) {
  for (const std::string& url :
       {m_nginx.Url("archive.zip"), "HTTP://" + m_nginx.Url("archive.zip").substr(7),
        m_nginx.Url("archive.zip").substr(7) /* no scheme: http by default */}) {
    SCOPED_TRACE(url);
    BramDataBufferMemoryDynamic buffer;
    Fill(buffer, "head");
    CaptureStdout();
    ASSERT_EQ(DownloadURL(url, buffer, 0, nullptr), BRAMRESULT_OK);
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(Contents(buffer), "head" + m_body);
  }
  // A request names itself "Bram"; flag bit 0 asks every cache on the way
  // to stand aside.
  BramDataBufferMemoryDynamic buffer;
  ASSERT_EQ(DownloadURL(m_nginx.Url("archive.zip"), buffer, DOWNLOAD_FLAG_NO_CACHE, nullptr),
            BRAMRESULT_OK);
  const std::vector<std::string> requests = RequestsFor("/archive.zip", 4);
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0], "GET /archive.zip HTTP/1.1 200|Bram|-|-|-");
  EXPECT_EQ(requests[3], "GET /archive.zip HTTP/1.1 200|Bram|no-cache|no-cache|-");
}

TEST_F(HttpDownload, PassesTheUserInfoAndThePathAsWritten) {
  m_nginx.WriteFile("a b%.zip", "spaced");
  m_nginx.WriteFile("q.zip", "queried");
  const struct {
    std::string url;
    std::string body;
    std::string logged;
  } cases[] = {
      {"http://kestro:secret@" + m_nginx.Url("a b%25.zip").substr(7), "spaced",
       "GET /a%20b%25.zip HTTP/1.1 200|Bram|-|-|kestro"},
      {m_nginx.Url("q.zip?build=101"), "queried", "GET /q.zip?build=101 HTTP/1.1 200|Bram|-|-|-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    BramDataBufferMemoryDynamic buffer;
    ASSERT_EQ(DownloadURL(c.url, buffer, 0, nullptr), BRAMRESULT_OK);
    EXPECT_EQ(Contents(buffer), c.body);
    const std::string uri = c.logged.substr(4, c.logged.find(' ', 4) - 4);
    EXPECT_EQ(RequestsFor(uri, 1), std::vector<std::string>{c.logged});
  }
}

TEST_F(HttpDownload, SuccessCutsALongerLeftoverFile) {
  ScopedTempDir dir;
  const std::string path = dir.Sub("leftover.zip");
  WriteTextFile(path, std::string(m_body.size() + 5000, 'x'));
  {
    BramDataBufferFile file(path, BRAMFILE_MODE_UPDATE);
    ASSERT_EQ(DownloadURL(m_nginx.Url("archive.zip"), file, 0, nullptr), BRAMRESULT_OK);
  }
  EXPECT_EQ(ReadTextFile(path), m_body);
}

TEST_F(HttpDownload, HttpsVerifiesTheServerCertificate) {
  {
    ScopedEnv trust("SSL_CERT_FILE", m_nginx.CertificateFile().c_str());
    BramDataBufferMemoryDynamic buffer;
    ASSERT_EQ(DownloadURL(m_nginx.TlsUrl("archive.zip"), buffer, 0, nullptr), BRAMRESULT_OK);
    EXPECT_EQ(Contents(buffer), m_body);
    std::uint64_t size = 0;
    ASSERT_EQ(GetURLSize(m_nginx.TlsUrl("archive.zip"), &size), BRAMRESULT_OK);
    EXPECT_EQ(size, m_body.size());
  }
  {
    ScopedEnv trust("CURL_CA_BUNDLE", m_nginx.CertificateFile().c_str());
    BramDataBufferMemoryDynamic buffer;
    EXPECT_EQ(DownloadURL(m_nginx.TlsUrl("archive.zip"), buffer, 0, nullptr), BRAMRESULT_OK);
  }
  // Without the certificate among the trusted ones, no byte is taken.
  BramDataBufferMemoryDynamic buffer;
  CancelAfter stop_retrying(0);
  CaptureStdout();
  EXPECT_EQ(DownloadURL(m_nginx.TlsUrl("archive.zip"), buffer, 0, &stop_retrying),
            BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(GetCapturedStdout(), "HttpSendRequest returned 12045\n");
  EXPECT_EQ(buffer.GetSize(), 0u);
}

// An error status is a failed attempt: nothing of the error page is kept,
// and the call tries again, 11 times in all.
TEST_F(HttpDownload, ErrorStatusFailsEveryAttemptAndKeepsNoBytes) {
  BramDataBufferMemoryDynamic buffer;
  Fill(buffer, "keep");
  CaptureStdout();
  EXPECT_EQ(DownloadURL(m_nginx.Url("missing.zip"), buffer, 0, nullptr),
            BRAMRESULT_TRANSFER_FAILED);
  const std::vector<std::string> lines = SplitLines(GetCapturedStdout());
  EXPECT_EQ(lines, std::vector<std::string>(
                       11, "DownloadURL> HTTP status 404 for url " + m_nginx.Url("missing.zip")));
  EXPECT_EQ(RequestsFor("/missing.zip", 11).size(), 11u);
  EXPECT_EQ(Contents(buffer), "keep");
  EXPECT_EQ(buffer.GetPosition(), 4u);

  std::uint64_t size = 1;
  CaptureStdout();
  EXPECT_EQ(GetURLSize(m_nginx.Url("missing.zip"), &size), BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(SplitLines(GetCapturedStdout()).size(), 11u);
  EXPECT_EQ(size, 0u);
}

TEST_F(HttpDownload, RedirectsStayOnHttpAndHttps) {
  ScopedEnv trust("SSL_CERT_FILE", m_nginx.CertificateFile().c_str());
  BramDataBufferMemoryDynamic upgraded;
  ASSERT_EQ(DownloadURL(m_nginx.Url("to-https/archive.zip"), upgraded, 0, nullptr), BRAMRESULT_OK);
  EXPECT_EQ(Contents(upgraded), m_body);
  std::uint64_t size = 0;
  ASSERT_EQ(GetURLSize(m_nginx.Url("to-https/archive.zip"), &size), BRAMRESULT_OK);
  EXPECT_EQ(size, m_body.size());

  for (const std::string& url : {m_nginx.TlsUrl("to-http/archive.zip"), m_nginx.Url("to-file")}) {
    SCOPED_TRACE(url);
    BramDataBufferMemoryDynamic buffer;
    CancelAfter stop_retrying(0);
    CaptureStdout();
    EXPECT_EQ(DownloadURL(url, buffer, 0, &stop_retrying), BRAMRESULT_TRANSFER_FAILED);
    EXPECT_EQ(GetCapturedStdout(), "HttpSendRequest returned 12156\n");
    EXPECT_EQ(buffer.GetSize(), 0u);
  }
}

TEST_F(HttpDownload, GetURLSizeReadsTheContentLength) {
  std::uint64_t size = 0;
  ASSERT_EQ(GetURLSize(m_nginx.Url("archive.zip"), &size), BRAMRESULT_OK);
  EXPECT_EQ(size, m_body.size());
  m_nginx.WriteFile("empty.zip", "");
  ASSERT_EQ(GetURLSize(m_nginx.Url("empty.zip"), &size), BRAMRESULT_OK);
  EXPECT_EQ(size, 0u);
}

TEST_F(HttpDownload, CallbackStopsBeforeTheNextChunkAndEndsTheRetries) {
  BramDataBufferMemoryDynamic buffer;
  CancelAfter cancel(2);
  EXPECT_EQ(DownloadURL(m_nginx.Url("archive.zip"), buffer, 0, &cancel), BRAMRESULT_ABORTED);
  EXPECT_EQ(cancel.Calls(), 4);     // two chunks stored, the third refused, then the retry check
  EXPECT_EQ(buffer.GetSize(), 0u);  // a failed attempt leaves nothing
  EXPECT_EQ(RequestsFor("/archive.zip", 1).size(), 1u);
}

TEST_F(HttpDownload, ABodyAboveTheLimitFailsAtOnce) {
  BramDataBufferMemoryDynamic buffer;
  ASSERT_EQ(DownloadURL(m_nginx.Url("archive.zip"), buffer, 0, nullptr, m_body.size()),
            BRAMRESULT_OK);
  EXPECT_EQ(Contents(buffer), m_body);

  BramDataBufferMemoryDynamic small;
  CaptureStdout();
  EXPECT_EQ(DownloadURL(m_nginx.Url("archive.zip"), small, 0, nullptr, m_body.size() - 1),
            BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(GetCapturedStdout(),
            "DownloadURL> url " + m_nginx.Url("archive.zip") + " sends more than 99999 bytes\n");
  EXPECT_EQ(small.GetSize(), 0u);
  EXPECT_EQ(RequestsFor("/archive.zip", 2).size(), 2u);
}

TEST(HttpFaults, ServerMisbehaviourFailsTheAttempt) {
  ShortTimeouts timeouts;
  FaultServer server;
  ASSERT_TRUE(server.StartHttp());
  const struct {
    const char* path;
    int chunks;  // body chunks before the failure (one send each on loopback)
    std::string line;
  } cases[] = {
      {"short", 1, "InternetReadFile returned 12030 with actualByteCount=0"},
      {"stall-body", 1, "InternetReadFile returned 12002 with actualByteCount=0"},
      {"stall-headers", 0, "HttpSendRequest returned 12002"},
      {"reset", 0, "HttpSendRequest returned 12031"},
      {"redirect-ftp", 0, "HttpSendRequest returned 12156"},
      {"teapot", 0, "DownloadURL> HTTP status 418 for url " + server.Url("http", "teapot")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    BramDataBufferMemoryDynamic buffer;
    CancelAfter stop_retrying(c.chunks);  // stop after the first failed attempt
    CaptureStdout();
    EXPECT_EQ(DownloadURL(server.Url("http", c.path), buffer, 0, &stop_retrying),
              BRAMRESULT_TRANSFER_FAILED);
    EXPECT_EQ(GetCapturedStdout(), c.line + "\n");
    EXPECT_EQ(buffer.GetSize(), 0u);
  }
}

TEST(HttpFaults, TheAnnouncedLengthBoundsTheBody) {
  ShortTimeouts timeouts;
  FaultServer server;
  ASSERT_TRUE(server.StartHttp());
  BramDataBufferMemoryDynamic longer;
  ASSERT_EQ(DownloadURL(server.Url("http", "longer"), longer, 0, nullptr), BRAMRESULT_OK);
  EXPECT_EQ(Contents(longer), std::string(10, 'L'));

  BramDataBufferMemoryDynamic unannounced;
  ASSERT_EQ(DownloadURL(server.Url("http", "nolength"), unannounced, 0, nullptr), BRAMRESULT_OK);
  EXPECT_EQ(Contents(unannounced), "no length here");
}

TEST(HttpFaults, RetriesEveryFailedAttempt) {
  ShortTimeouts timeouts;
  FaultServer server;
  ASSERT_TRUE(server.StartHttp());
  BramDataBufferMemoryDynamic buffer;
  CaptureStdout();
  EXPECT_EQ(DownloadURL(server.Url("http", "short"), buffer, 0, nullptr),
            BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(SplitLines(GetCapturedStdout()).size(), 11u);
  EXPECT_EQ(buffer.GetSize(), 0u);

  // A size query of an answer without Content-Length fails 11 times.
  std::uint64_t size = 7;
  CaptureStdout();
  EXPECT_EQ(GetURLSize(server.Url("http", "nolength"), &size), BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(SplitLines(GetCapturedStdout()),
            std::vector<std::string>(11, "HttpQueryInfo returned 12150"));
  EXPECT_EQ(size, 0u);
  const std::vector<std::string> requests = server.Requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), "GET /short"), 11);
  EXPECT_EQ(std::count(requests.begin(), requests.end(), "GET /nolength"), 11);
}

TEST(HttpFaults, NothingListeningIsACannotConnect) {
  ShortTimeouts timeouts;
  const std::string url = "http://127.0.0.1:" + std::to_string(FreePort()) + "/x";
  BramDataBufferMemoryDynamic buffer;
  CancelAfter stop_retrying(0);
  CaptureStdout();
  EXPECT_EQ(DownloadURL(url, buffer, 0, &stop_retrying), BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(GetCapturedStdout(), "HttpSendRequest returned 12029\n");

  // A host name that cannot be one fails before any connection.
  CancelAfter stop_again(0);
  CaptureStdout();
  EXPECT_EQ(DownloadURL("http://no such host/x", buffer, 0, &stop_again),
            BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(GetCapturedStdout(), "InternetConnect returned 12007 for url http://no such host/x\n");
}

}  // namespace

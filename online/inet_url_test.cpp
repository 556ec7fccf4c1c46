#include "online/inet_url.h"

#include <gtest/gtest.h>

#include <string>

#include "kit/data_buffer_memory_dynamic.h"
#include "online/download_url.h"
#include "online/online_test_servers.h"

// Found by gtest through argument-dependent lookup, so beside the type.
std::ostream& operator<<(std::ostream& out, const BramURLParts& p) {
  return out << p.m_scheme << "|" << p.m_user << "|" << p.m_password << "|" << p.m_host << "|"
             << p.m_port << "|" << p.m_path;
}

namespace {

TEST(ParseURL, SplitsAndDefaultsTheScheme) {
  const struct {
    const char* url;
    BramURLParts parts;
  } cases[] = {
      {"http://host/dir/x.zip", {"http", "", "", "host", 0, "dir/x.zip"}},
      {"HTTPS://Host:8443/a?b=1", {"https", "", "", "Host", 8443, "a?b=1"}},
      {"ftp://u:p@host:2121/pub/x", {"ftp", "u", "p", "host", 2121, "pub/x"}},
      {"ftp://anon@host/x", {"ftp", "anon", "", "host", 0, "x"}},
      {"host", {"http", "", "", "host", 0, ""}},
      // No scheme: the port decides first, then the host's first letters.
      {"mirror:21/x", {"ftp", "", "", "mirror", 21, "x"}},
      {"mirror:80/x", {"http", "", "", "mirror", 80, "x"}},
      {"mirror:443/x", {"https", "", "", "mirror", 443, "x"}},
      {"ftp.example:80/x", {"http", "", "", "ftp.example", 80, "x"}},
      {"FTP.example/x", {"ftp", "", "", "FTP.example", 0, "x"}},
      {"ftpmirror:8021/x", {"ftp", "", "", "ftpmirror", 8021, "x"}},
      {"HTTPSbox/x", {"https", "", "", "HTTPSbox", 0, "x"}},
      {"httpbox/x", {"http", "", "", "httpbox", 0, "x"}},
      {"mirror.example/x", {"http", "", "", "mirror.example", 0, "x"}},
      {"127.0.0.1:8080/x", {"http", "", "", "127.0.0.1", 8080, "x"}},
      // An '@' anywhere ends a user-info, in the path too.
      {"http://host/path@other/y", {"http", "host/path", "", "other", 0, "y"}},
      // Only the port's leading digits count.
      {"http://host:8a/x", {"http", "", "", "host", 8, "x"}},
      {"http://host:abc/x", {"http", "", "", "host", 0, "x"}},
      {"gopher://host/x", {"gopher", "", "", "host", 0, "x"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    BramURLParts parts;
    ASSERT_EQ(ParseURL(c.url, &parts), BRAMRESULT_OK);
    EXPECT_EQ(parts, c.parts);
  }
}

TEST(ParseURL, RejectsMalformedURLs) {
  for (const char* url : {"", "http://", "http:///x", "http://:8080/x", "http://:pw@host/x",
                          "ftp://:p@", "http://host:65536/x", "http://host:99999999999/x"}) {
    SCOPED_TRACE(url);
    BramURLParts parts;
    EXPECT_EQ(ParseURL(url, &parts), BRAMRESULT_BAD_ADDRESS);
  }
  BramURLParts parts;
  EXPECT_EQ(ParseURL("http://host:65535/x", &parts), BRAMRESULT_OK);
}

TEST(EffectivePort, UsesTheURLsPortOrTheSchemes) {
  EXPECT_EQ(EffectivePort({"ftp", "", "", "h", 0, ""}), 21);
  EXPECT_EQ(EffectivePort({"ftp", "", "", "h", 2121, ""}), 2121);
  EXPECT_EQ(EffectivePort({"http", "", "", "h", 0, ""}), 80);
  EXPECT_EQ(EffectivePort({"https", "", "", "h", 0, ""}), 443);
  EXPECT_EQ(EffectivePort({"https", "", "", "h", 8443, ""}), 8443);
}

// Malformed URLs and foreign schemes end before any attempt: no request
// reaches the server and no line is written.
TEST(DownloadURL, MalformedOrForeignURLsSendNothing) {
  online_test::ShortTimeouts timeouts;
  online_test::FaultServer server;
  ASSERT_TRUE(server.StartHttp());
  const std::string port_part = server.Url("http", "x").substr(7);  // "127.0.0.1:<port>/x"
  const struct {
    std::string url;
    BramResult result;
  } cases[] = {
      {"gopher://" + port_part, BRAMRESULT_BAD_FORMAT},
      {"File://" + port_part, BRAMRESULT_BAD_FORMAT},
      {"http://:secret@" + port_part, BRAMRESULT_BAD_ADDRESS},
      {"ftp://:secret@" + port_part, BRAMRESULT_BAD_ADDRESS},
      {"http://:" + port_part.substr(port_part.find(':') + 1), BRAMRESULT_BAD_ADDRESS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    BramDataBufferMemoryDynamic buffer;
    std::uint64_t size = 99;
    testing::internal::CaptureStdout();
    EXPECT_EQ(DownloadURL(c.url, buffer, 0, nullptr), c.result);
    EXPECT_EQ(GetURLSize(c.url, &size), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer.GetSize(), 0u);
  }
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace

#include "engine/catalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "kit/data_buffer_memory_static.h"

namespace BramPatch {
namespace {

using Entries = std::map<std::string, CatalogueEntry>;

const char SERVER[] = "http://patches.example/kestro";

// A well-formed block whose data URL is relative.
std::string Block(const std::string& source, const std::string& target) {
  return "source-version: " + source + "\ntarget-version: " + target +
         "\npatch-exe-url: http://x/p.exe\npatch-data-url: " + source + ".zip\n";
}

CatalogueEntry Joined(const std::string& target, const std::string& data) {
  return {target, "http://x/p.exe", std::string(SERVER) + "/" + data};
}

TEST(PatchCatalogue, ParsesTheFileFormat) {
  const struct {
    const char* name;
    std::string text;
    std::string server;
    bool accepted;
    Entries entries;
  } cases[] = {
      {"blanks around key and colon, key case ignored",
       "  Source-Version :  41844\nTARGET-version:41845\npatch-exe-url:e\npatch-data-url:d\n",
       SERVER,
       true,
       {{"41844", {"41845", "e", std::string(SERVER) + "/d"}}}},
      {"quotes dropped, a lone quote kept, ':' inside a value kept",
       "source-version: \"1\"\ntarget-version: \"\npatch-exe-url: \"a:b\"\n"
       "patch-data-url: ftp://h:21/x.zip\n",
       SERVER,
       true,
       {{"1", {"\"", "a:b", "ftp://h:21/x.zip"}}}},
      {"capital scheme is absolute; https is joined as relative",
       "source-version: 1\ntarget-version: 2\npatch-exe-url: e\npatch-data-url: HTTP://m/a.zip\n\n"
       "source-version: 2\ntarget-version: 3\npatch-exe-url: e\n"
       "patch-data-url: https://m/b.zip\n",
       SERVER,
       true,
       {{"1", {"2", "e", "HTTP://m/a.zip"}},
        {"2", {"3", "e", std::string(SERVER) + "/https://m/b.zip"}}}},
      {"a line without ':' rejects its block only",
       "source-version: 1\nthis line is broken\ntarget-version: 2\npatch-exe-url: e\n"
       "patch-data-url: d\n\n" +
           Block("2", "3"),
       SERVER,
       true,
       {{"2", Joined("3", "2.zip")}}},
      {"the later block of a source version wins; the later key of a block wins",
       Block("1", "2") + "\n\n\n" + Block("1", "9") + "target-version: 7\n",
       SERVER,
       true,
       {{"1", Joined("7", "1.zip")}}},
      {"relative data URL with no server URL rejects the block", Block("1", "2"), "", false, {}},
      {"server URL ending in '/' gets no second one",
       Block("1", "2"),
       "ftp://h/",
       true,
       {{"1", {"2", "http://x/p.exe", "ftp://h/1.zip"}}}},
      {"a missing or empty key rejects the block",
       "source-version: 1\ntarget-version: 2\npatch-exe-url:\npatch-data-url: d\n\n"
       "source-version: 1\ntarget-version: 2\npatch-data-url: d\n",
       SERVER,
       false,
       {}},
      {"every terminator form; blank-only lines do not split; unknown keys ignored",
       "\r\n\r\nsource-version: 1\r\n   \r\ncomment: x\rtarget-version: 2\n\r"
       "patch-exe-url: e\r\npatch-data-url: d",
       SERVER,
       true,
       {{"1", {"2", "e", std::string(SERVER) + "/d"}}}},
      {"versions that could leave the temporary directory are refused",
       Block("1", "../../etc/x") + "\n" + Block("a\\b", "2") + "\n" + Block("3", "4"),
       SERVER,
       true,
       {{"3", Joined("4", "3.zip")}}},
      {"tabs are no blanks", Block("\t1", "2"), SERVER, false, {}},
      {"empty file", "", SERVER, false, {}},
      {"only empty lines", "\n\n\r\n", SERVER, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto buffer = BramDataBufferMemoryStatic::CopyOf(c.text);
    PatchCatalogue catalogue;
    EXPECT_EQ(catalogue.ParseCatalogue(*buffer, c.server), c.accepted);
    EXPECT_EQ(catalogue.GetEntries(), c.entries);
  }
}

TEST(PatchCatalogue, FindPatchComparesExactly) {
  auto buffer = BramDataBufferMemoryStatic::CopyOf(Block("41844", "41845"));
  PatchCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(*buffer, SERVER));
  ASSERT_NE(catalogue.FindPatch("41844"), nullptr);
  EXPECT_EQ(catalogue.FindPatch("41844")->m_target_version, "41845");
  EXPECT_EQ(catalogue.FindPatch("41844 "), nullptr);
  EXPECT_EQ(catalogue.FindPatch("4184"), nullptr);
  EXPECT_EQ(catalogue.FindPatch(""), nullptr);
}

TEST(PatchCatalogue, LaterParsesAddToTheEntries) {
  PatchCatalogue catalogue;
  auto first = BramDataBufferMemoryStatic::CopyOf(Block("1", "2") + "\n" + Block("2", "3"));
  ASSERT_TRUE(catalogue.ParseCatalogue(*first, SERVER));
  auto broken = BramDataBufferMemoryStatic::CopyOf(std::string("no colon here\n"));
  EXPECT_FALSE(catalogue.ParseCatalogue(*broken, SERVER));
  auto second = BramDataBufferMemoryStatic::CopyOf(Block("2", "4"));
  ASSERT_TRUE(catalogue.ParseCatalogue(*second, "ftp://other"));
  EXPECT_EQ(catalogue.GetEntries(), (Entries{{"1", Joined("2", "1.zip")},
                                             {"2", {"4", "http://x/p.exe", "ftp://other/2.zip"}}}));
}

TEST(PatchCatalogue, ParsesFromTheBufferPosition) {
  auto buffer = BramDataBufferMemoryStatic::CopyOf("garbage line\n" + Block("1", "2"));
  ASSERT_EQ(buffer->SetPosition(13), BRAMRESULT_OK);
  PatchCatalogue catalogue;
  EXPECT_TRUE(catalogue.ParseCatalogue(*buffer, SERVER));
  EXPECT_EQ(catalogue.GetEntries(), (Entries{{"1", Joined("2", "1.zip")}}));
}

TEST(PatchCatalogue, RefusesACatalogueAboveTheSizeCap) {
  std::string text = Block("1", "2");
  std::string at_cap = text + std::string(CATALOGUE_MAX_SIZE - text.size(), '\n');
  auto buffer = BramDataBufferMemoryStatic::CopyOf(at_cap);
  PatchCatalogue catalogue;
  EXPECT_TRUE(catalogue.ParseCatalogue(*buffer, SERVER));

  auto over = BramDataBufferMemoryStatic::CopyOf(at_cap + "\n");
  PatchCatalogue refusing;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(refusing.ParseCatalogue(*over, SERVER));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "PatchCatalogue::ParseCatalogue> catalogue of 4194305 bytes is larger than 4194304 "
            "bytes\n");
  EXPECT_TRUE(refusing.GetEntries().empty());
}

TEST(PatchCatalogue, ReadKeyValueBlockReadsOnAfterAMalformedLine) {
  auto block = BramDataBufferMemoryStatic::CopyOf(std::string("a: 1\nbroken\n B :2 \n"));
  std::map<std::string, std::string> values{{"stale", "x"}};
  EXPECT_FALSE(PatchCatalogue::ReadKeyValueBlock(*block, &values));
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}}));
}

}  // namespace
}  // namespace BramPatch

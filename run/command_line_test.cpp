#include "run/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>

#include "engine/patch_options.h"
#include "foundation/paths.h"
#include "foundation/paths_test_support.h"
#include "text/messages.h"

namespace BramPatch {
namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// An installation whose stand-in utility answers "listbuilds PATH" by writing
// `listing` into PATH (nothing when listing is null).
std::string MakeInstallation(const ScopedTempDir& dir, const char* listing) {
  std::string root = dir.path() + "/Kestro";
  fs::create_directories(root + "/bin");
  if (listing != nullptr) {
    std::string utility = root + "/bin/KestroUtil.exe";
    WriteFile(utility, std::string("#!/bin/sh\n[ \"$1\" = listbuilds ] || exit 2\n") +
                           "printf '%s' '" + listing + "' > \"$2\"\n");
    fs::permissions(utility, fs::perms::owner_all);
  }
  return root;
}

struct Posted {
  std::vector<std::pair<int, std::string>> texts;
  PostTextFunction sink() {
    return [this](int kind, const std::string& text) { texts.emplace_back(kind, text); };
  }
};

struct Parsed {
  bool result;
  CommandLineSettings settings;
  PatchOptions options;
  Posted posted;
};

std::unique_ptr<Parsed> Parse(std::vector<std::string> args) {
  auto parsed = std::make_unique<Parsed>();
  args.insert(args.begin(), "omvel-patcher");
  parsed->result = ParseCommandLine(args, parsed->settings, parsed->options, parsed->posted.sink());
  return parsed;
}

TEST(ParseCommandLine, NoArgumentsTakesNothing) {
  auto parsed = Parse({});
  EXPECT_FALSE(parsed->result);
  EXPECT_EQ(parsed->options.GetInstallPath(), "");
  EXPECT_FALSE(parsed->options.IsDownload());
}

TEST(ParseCommandLine, ServerWithoutParameterSelectsNothing) {
  auto parsed = Parse({"--server", "ftp://127.0.0.1/", "--admin"});
  EXPECT_FALSE(parsed->result);
  EXPECT_TRUE(parsed->options.GetServerList().empty());
  EXPECT_FALSE(parsed->options.IsDownload());
  EXPECT_FALSE(parsed->settings.adminGiven);
}

TEST(ParseCommandLine, ParserErrorUsesNothing) {
  testing::internal::CaptureStderr();
  auto parsed = Parse({"--bogus", "-f", "300", "100", "/tmp"});
  std::string usage = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(parsed->result);
  EXPECT_EQ(parsed->options.GetInstallPath(), "");
  EXPECT_EQ(parsed->options.GetFinalVersion(), "");
  EXPECT_NE(usage.find("bogus"), std::string::npos) << usage;
}

TEST(ParseCommandLine, UtilityListGivesCandidateBuilds) {
  const struct {
    const char* listing;
    std::deque<std::string> candidates;
    std::string current;
  } cases[] = {
      {"100,101,", {"100", "101"}, "100"},
      {"100,101", {"100"}, "100"},  // text after the last comma is ignored
      {"", {}, "D"},                // no comma: the parameter is the version
      {nullptr, {}, "D"},           // no utility at all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.listing ? c.listing : "(no utility)");
    ScopedTempDir dir;
    std::string root = MakeInstallation(dir, c.listing);
    // The parameter names the installation; with one parameter it is also
    // the fallback version, so use a root whose text is recognisable.
    auto parsed = Parse({root});
    ASSERT_TRUE(parsed->result);
    EXPECT_EQ(parsed->options.GetInstallPath(), root);
    EXPECT_EQ(parsed->options.GetCandidateBuilds(), c.candidates);
    std::string expected = c.current == "D" ? root : c.current;
    EXPECT_EQ(parsed->options.GetCurrentVersion(), expected);
    EXPECT_FALSE(fs::exists(root + "/bin/buildList.txt")) << "list file left behind";
  }
}

TEST(ParseCommandLine, TwoParametersAreVersionAndInstallation) {
  ScopedTempDir dir;
  std::string root = MakeInstallation(dir, nullptr);
  auto parsed = Parse({"35673", root, "-f", "36000", "-r", "--onexit=/bin/true", "-a"});
  ASSERT_TRUE(parsed->result);
  EXPECT_EQ(parsed->options.GetInstallPath(), root);
  EXPECT_EQ(parsed->options.GetCurrentVersion(), "35673");
  EXPECT_EQ(parsed->options.GetFinalVersion(), "36000");
  EXPECT_TRUE(parsed->options.IsRepair());
  EXPECT_TRUE(parsed->settings.onExitGiven);
  EXPECT_EQ(parsed->settings.onExitCommand, "/bin/true");
  EXPECT_TRUE(parsed->settings.adminGiven);
  EXPECT_FALSE(parsed->options.IsDownload());
}

TEST(ParseCommandLine, HelpPrintsUsageAndGoesOn) {
  ScopedTempDir dir;
  std::string root = MakeInstallation(dir, nullptr);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  auto parsed = Parse({"-h", "100", root});
  std::string usage =
      testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
  EXPECT_TRUE(parsed->result);
  EXPECT_EQ(parsed->options.GetInstallPath(), root);
  EXPECT_NE(usage.find(LoadMessage(MSG_REPAIR_CLIENT)), std::string::npos) << usage;
  EXPECT_NE(usage.find("--onexit"), std::string::npos) << usage;
}

TEST(ParseCommandLine, ServerListFile) {
  const struct {
    const char* name;
    const char* contents;  // null: no file
    std::vector<std::string> servers;
  } cases[] = {
      {"three lines", "s1\ns2\ns3", {"server0", "s1", "s2", "s3"}},
      {"CRLF and final newline", "s1\r\ns2\r\n", {"server0", "s1", "s2"}},
      {"single line", "s1", {"server0", "s1"}},
      {"empty file", "", {"server0"}},
      {"missing file", nullptr, {"server0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    std::string root = MakeInstallation(dir, nullptr);
    std::string listFile = dir.path() + "/servers.txt";
    if (c.contents != nullptr) WriteFile(listFile, c.contents);
    auto parsed = Parse({"100", root, "-s", "server0", "--list", listFile});
    ASSERT_TRUE(parsed->result);
    EXPECT_EQ(parsed->options.GetServerList(), c.servers);
    EXPECT_TRUE(parsed->options.IsDownload());
    if (c.servers.size() == 1) {
      ASSERT_EQ(parsed->posted.texts.size(), 1u);
      EXPECT_EQ(parsed->posted.texts[0].first, 2);
      EXPECT_EQ(parsed->posted.texts[0].second, "Failed to read list of servers from " + listFile);
    } else {
      EXPECT_TRUE(parsed->posted.texts.empty());
    }
  }
}

TEST(DropGluedQuotes, DropsOnlyAQuoteAfterABackslash) {
  std::vector<std::string> args = {"D:\\Games\\K\\\"", "D:\\Games\\K\\", "abc\"", "\\\"", "\""};
  DropGluedQuotes(args);
  EXPECT_EQ(args,
            (std::vector<std::string>{"D:\\Games\\K\\", "D:\\Games\\K\\", "abc\"", "\\", "\""}));
}

TEST(ListBuilds, RelativeListPathReachesTheUtilityEmpty) {
  ScopedTempDir dir;
  std::string root = MakeInstallation(dir, nullptr);
  // The utility records the argument it got, then writes nothing.
  std::string utility = root + "/bin/KestroUtil.exe";
  WriteFile(utility, "#!/bin/sh\nprintf '[%s]' \"$2\" > \"" + dir.path() + "/seen\"\n");
  fs::permissions(utility, fs::perms::owner_all);
  PatchOptions options;
  EXPECT_FALSE(ListBuilds(utility, "bin\\buildList.txt", options));
  std::ifstream seen(dir.path() + "/seen");
  std::string text;
  std::getline(seen, text);
  EXPECT_EQ(text, "[]");
}

TEST(ListBuilds, AbsoluteListPathForms) {
  for (const char* path : {"C:\\x\\list.txt", "\\x", "//server/x", "/tmp/x"}) {
    EXPECT_TRUE(IsAbsoluteListPath(path)) << path;
  }
  for (const char* path : {"list.txt", "bin\\list.txt", ""}) {
    EXPECT_FALSE(IsAbsoluteListPath(path)) << path;
  }
}

}  // namespace
}  // namespace BramPatch

#include "app/elevated_relaunch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/app_test_support.h"
#include "app/on_exit_program.h"
#include "engine/patch_options.h"
#include "foundation/paths.h"
#include "platform/windows_command_line.h"
#include "run/command_line.h"
#include "run/run_test_support.h"
#include "text/messages.h"

namespace BramPatch {
namespace {

struct RelaunchCase {
  const char* name;
  bool repair;
  std::vector<std::string> servers;
  std::string final;
  std::string current;
  std::string installPath;
  std::string expected;
};

TEST(RelaunchParameters, BuiltInTheirOrder) {
  const RelaunchCase cases[] = {
      {"everything",
       true,
       {"a", "b"},
       "101",
       "100",
       "D:\\Games\\K",
       R"(--admin --repair --server="a;b" --final=101 100 "D:\Games\K")"},
      {"no servers, no repair",
       false,
       {},
       "101",
       "100",
       "/games/K",
       R"(--admin --final=101 100 "/games/K")"},
      {"one server",
       false,
       {"http://p.example/"},
       "",
       "100",
       "/games/K",
       R"(--admin --server="http://p.example/" --final= 100 "/games/K")"},
      {"a quote in the path",
       false,
       {},
       "",
       "100",
       R"(/games/"K")",
       R"(--admin --final= 100 "/games/\"K\"")"},
  };
  for (const RelaunchCase& c : cases) {
    SCOPED_TRACE(c.name);
    PatchOptions options;
    options.SetRepair(c.repair);
    for (const std::string& server : c.servers) options.AddServer(server);
    options.SetFinalVersion(c.final);
    options.SetCurrentVersion(c.current);
    options.SetInstallPath(c.installPath);
    EXPECT_EQ(BuildRelaunchParameters(options), c.expected);
  }
}

TEST(RelaunchParameters, CurrentVersionComesThroughItsGetter) {
  PatchOptions options;
  options.AddCandidateBuild("100");
  options.AddCandidateBuild("101");
  options.SetInstallPath("/games/K");
  EXPECT_EQ(BuildRelaunchParameters(options), R"(--admin --final= 100 "/games/K")");
  EXPECT_EQ(options.GetCandidateBuilds(), std::deque<std::string>{"101"});
}

// The elevated copy reads what this instance knew, through its own parser.
TEST(RelaunchParameters, ElevatedCopyParsesThemBack) {
  ScopedTempDir dir;
  PatchOptions options;
  options.SetRepair(true);
  options.AddServer("a");
  options.AddServer("b");
  options.SetFinalVersion("101");
  options.SetCurrentVersion("100");
  options.SetInstallPath(dir.Sub("Kestro \"new\" build"));  // no utility: no list of builds

  std::vector<std::string> args =
      SplitWindowsCommandLine("omvel-patcher " + BuildRelaunchParameters(options));
  DropGluedQuotes(args);
  CommandLineSettings settings;
  PatchOptions copy;
  ASSERT_TRUE(ParseCommandLine(args, settings, copy, nullptr));
  EXPECT_TRUE(settings.adminGiven);
  EXPECT_FALSE(settings.onExitGiven);
  EXPECT_TRUE(copy.IsRepair());
  EXPECT_TRUE(copy.IsDownload());
  EXPECT_EQ(copy.GetServerList(), std::vector<std::string>{"a;b"});  // one address, as given
  EXPECT_EQ(copy.GetFinalVersion(), "101");
  EXPECT_EQ(copy.GetCurrentVersion(), "100");
  EXPECT_EQ(copy.GetInstallPath(), options.GetInstallPath());
}

TEST(ElevationCommand, ReplacedByTheEnvironmentOrPkexecWithTheDisplay) {
  {
    ScopedEnvironment elevate(ELEVATE_VARIABLE, R"("/opt/my tools/elevate" --quiet)");
    EXPECT_EQ(ElevationCommand(), (std::vector<std::string>{"/opt/my tools/elevate", "--quiet"}));
  }
  ScopedEnvironment empty(ELEVATE_VARIABLE, "");
  ScopedEnvironment display("DISPLAY", ":42");
  ScopedEnvironment registry("OMVEL_REGISTRY", "/tmp/r.reg");
  const std::vector<std::string> command = ElevationCommand();
  ASSERT_GE(command.size(), 2u);
  EXPECT_EQ(command[0], "pkexec");
  EXPECT_EQ(command[1], "env");
  EXPECT_NE(std::find(command.begin(), command.end(), "DISPLAY=:42"), command.end());
  EXPECT_NE(std::find(command.begin(), command.end(), "OMVEL_REGISTRY=/tmp/r.reg"), command.end());
}

// A relaunch through a stub elevation command, with an on-exit program that
// leaves a mark.
class RelaunchTest : public testing::Test {
 protected:
  void SetUp() override {
    SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
    WriteScript(m_onExit, ": > \"" + m_mark + "\"\n");
    m_settings.onExitGiven = true;
    m_settings.onExitCommand = "\"" + m_onExit + "\"";
    m_options.SetRepair(true);
    m_options.AddServer("a");
    m_options.AddServer("b");
    m_options.SetFinalVersion("101");
    m_options.SetCurrentVersion("100");
    m_options.SetInstallPath(m_dir.Sub("Kestro"));
  }

  bool Relaunch() {
    return RelaunchElevated(m_options, m_settings, "/opt/omvel/omvel-patcher",
                            [this](const std::string& text, const std::string& caption) {
                              m_boxes.emplace_back(text, caption);
                            });
  }

  ScopedTempDir m_dir;
  const std::string m_stub = m_dir.Sub("elevate");
  const std::string m_record = m_dir.Sub("arguments");
  const std::string m_onExit = m_dir.Sub("on exit");
  const std::string m_mark = m_dir.Sub("on-exit-ran");
  ScopedEnvironment m_elevate{ELEVATE_VARIABLE, "\"" + m_stub + "\""};
  CommandLineSettings m_settings;
  PatchOptions m_options;
  std::vector<std::pair<std::string, std::string>> m_boxes;
};

TEST_F(RelaunchTest, ElevatedCopyGetsTheProgramAndTheParameters) {
  WriteElevationStub(m_stub, m_record, 0);
  EXPECT_TRUE(Relaunch());
  EXPECT_EQ(RecordedLines(m_record),
            (std::vector<std::string>{"/opt/omvel/omvel-patcher", "--admin", "--repair",
                                      "--server=a;b", "--final=101", "100", m_dir.Sub("Kestro")}));
  EXPECT_TRUE(m_boxes.empty());
  EXPECT_TRUE(FileExists(m_mark));
}

TEST_F(RelaunchTest, DeclinedOrImpossibleElevationIsReportedThenTheOnExitProgramRuns) {
  for (int refusal : {ELEVATION_REFUSED, ELEVATION_UNAVAILABLE}) {
    SCOPED_TRACE(refusal);
    WriteElevationStub(m_stub, m_record, refusal);
    DeletePath(m_mark);
    m_boxes.clear();
    EXPECT_TRUE(Relaunch());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].first, LoadMessage(MSG_INSUFFICIENT_PRIVILEGES));
    EXPECT_EQ(m_boxes[0].second, LoadMessage(MSG_REQUIRES_ADMIN_PRIVILEGES));
    EXPECT_TRUE(FileExists(m_mark));
  }
  // No elevation command at all.
  DeletePath(m_stub);
  DeletePath(m_mark);
  m_boxes.clear();
  EXPECT_TRUE(Relaunch());
  EXPECT_EQ(m_boxes.size(), 1u);
  EXPECT_TRUE(FileExists(m_mark));
}

TEST(OnExitProgram, OnlyAGivenNonEmptyCommandRuns) {
  ScopedTempDir dir;
  const std::string mark = dir.Sub("ran");
  WriteScript(dir.Sub("mark"), ": > \"" + mark + "\"\n");
  CommandLineSettings settings;
  settings.onExitCommand = "\"" + dir.Sub("mark") + "\"";
  RunOnExitProgram(settings);  // not given
  settings.onExitGiven = true;
  settings.onExitCommand = "";
  RunOnExitProgram(settings);  // given empty
  EXPECT_FALSE(FileExists(mark));
  settings.onExitCommand = "\"" + dir.Sub("mark") + "\"";
  RunOnExitProgram(settings);
  EXPECT_TRUE(FileExists(mark));
}

TEST(OnExitProgram, LongRunningProgramIsLeftRunning) {
  ScopedTempDir dir;
  const std::string started = dir.Sub("started");
  const std::string release = dir.Sub("release");
  const std::string ended = dir.Sub("ended");
  WriteScript(dir.Sub("long"), ": > \"" + started + "\"\nwhile [ ! -e \"" + release +
                                   "\" ]; do sleep 0.05; done\n: > \"" + ended + "\"\n");
  CommandLineSettings settings;
  settings.onExitGiven = true;
  settings.onExitCommand = "\"" + dir.Sub("long") + "\" with arguments";
  RunOnExitProgram(settings);
  // Back while the program still runs.
  EXPECT_FALSE(FileExists(ended));
  WriteTextFile(release, "");
  for (int i = 0; i < 6000 && !FileExists(ended); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(FileExists(started));
  EXPECT_TRUE(FileExists(ended));
}

}  // namespace
}  // namespace BramPatch

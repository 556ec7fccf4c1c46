// The simulator and launcher stand-ins, run as the real programs.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "engine/patch_test_support.h"

namespace BramPatch {
namespace {

namespace fs = std::filesystem;

const std::string KESTRO = std::string(OMVEL_BIN_DIR) + "/Kestro.exe";
const std::string LAUNCHER = std::string(OMVEL_BIN_DIR) + "/Launcher.exe";

TEST(KestroProgramsTest, CommandLines) {
  struct Case {
    std::string program;
    std::vector<std::string> args;
    int exit;
    std::string output;
  };
  const std::string usage = "usage: Kestro.exe [--run-seconds N]   (N from 0 to 86400)\n";
  const Case cases[] = {
      {KESTRO, {}, 0, "Kestro.exe: Kestro simulator (stand-in)\n"},
      {KESTRO, {"--run-seconds", "0"}, 0, "running\n"},
      {KESTRO, {"--run-seconds"}, 2, usage},
      {KESTRO, {"--run-seconds", "86401"}, 2, usage},
      {KESTRO, {"--run-seconds", "-1"}, 2, usage},
      {KESTRO, {"--run-seconds", "1x"}, 2, usage},
      {KESTRO, {"--fly"}, 2, usage},
      {LAUNCHER, {}, 0, "Launcher.exe: Kestro simulator launcher (stand-in)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    std::string output;
    EXPECT_EQ(RunProgram(c.program, c.args, &output), c.exit);
    EXPECT_EQ(output, c.output);
  }
}

// A running product keeps its executable from being opened for update,
// which is how the patcher's write check sees a product in use.
TEST(KestroProgramsTest, RunningSimulatorLocksItsExecutable) {
  ScopedTempDir dir;
  const std::string copy = dir.Sub("Kestro.exe");
  fs::copy_file(KESTRO, copy);
  ChildProcess* child = StartChildProcess(copy, "--run-seconds 600");
  ASSERT_NE(child, nullptr);
  std::string output;
  while (output != "running\n" && ReadChildOutput(child, output)) {
  }
  ASSERT_EQ(output, "running\n");
  EXPECT_FALSE(std::fstream(copy, std::ios::in | std::ios::out | std::ios::binary).is_open());
  KillChild(child);
  ASSERT_TRUE(WaitChild(child, CHILD_WAIT_INFINITE));
  delete child;
  EXPECT_TRUE(std::fstream(copy, std::ios::in | std::ios::out | std::ios::binary).is_open());
}

}  // namespace
}  // namespace BramPatch

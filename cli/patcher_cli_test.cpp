// omvel-patcher-cli run for real, as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "foundation/paths_test_support.h"

namespace {

const std::string CLI = std::string(OMVEL_BIN_DIR) + "/omvel-patcher-cli";

struct CliRun {
  int status;
  std::string output;  // standard output and error together
};

CliRun RunCli(const std::string& environment, const std::string& arguments) {
  const std::string command = environment + " " + CLI + " " + arguments + " </dev/null 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  CliRun run{-1, {}};
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    run.output.append(buffer, n);
  }
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(PatcherCli, NothingToDoExitsWithTwo) {
  ScopedTempDir dir;
  const std::string environment =
      "OMVEL_REGISTRY=" + dir.Sub("registry.reg") + " TEMP=" + dir.Sub("temp");
  const CliRun run = RunCli(environment, "");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.output, "No valid patch operation was specified. Patching aborted.\n");
}

TEST(PatcherCli, BadOptionShowsUsageAndNothingIsDone) {
  ScopedTempDir dir;
  const std::string environment =
      "OMVEL_REGISTRY=" + dir.Sub("registry.reg") + " TEMP=" + dir.Sub("temp");
  const CliRun run = RunCli(environment, "--no-such-option 100 " + dir.Sub("install"));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("Usage:"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("No valid patch operation was specified."), std::string::npos);
}

}  // namespace

// omvel-patcher-cli in download mode, run for real: sample builds released
// with omvel-patchkit and served by nginx and vsftpd on 127.0.0.1; the
// sample of 100 must end up as build 102.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/engine_test_support.h"
#include "foundation/child_process.h"
#include "online/online_test_servers.h"
#include "online/online_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace online_test;

const std::string CLI = std::string(OMVEL_BIN_DIR) + "/omvel-patcher-cli";
const std::string PATCHKIT = std::string(OMVEL_BIN_DIR) + "/omvel-patchkit";

struct CliRun {
  int m_exit = -1;
  std::string m_output;
};

CliRun RunCli(const std::string& arguments) {
  CliRun run;
  std::unique_ptr<ChildProcess> child(StartChildProcess(CLI, arguments));
  EXPECT_NE(child, nullptr) << CLI;
  if (child == nullptr) return run;
  while (ReadChildOutput(child.get(), run.m_output)) {
  }
  WaitChild(child.get(), CHILD_WAIT_INFINITE);
  run.m_exit = ChildExitCode(child.get());
  return run;
}

class DownloadModeCli : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* build : {"100", "101", "102"}) {
      RunToEnd(PATCHKIT,
               "sample " + Quote(m_dir.Sub(std::string("b/") + build)) + " --build " + build);
    }
    RunToEnd(PATCHKIT, "release " + Quote(m_dir.Sub("b/100")) + " " + Quote(m_dir.Sub("b/101")) +
                           " " + Quote(m_dir.Sub("b/102")) + " --out " +
                           Quote(m_dir.Sub("release")));
    fs::copy(m_dir.Sub("b/100"), m_dir.Sub("install"), fs::copy_options::recursive);
  }

  template <typename Server>
  void Publish(const Server& server) {
    for (const char* name : {"patches.txt", "100_to_101.zip", "101_to_102.zip"}) {
      server.WriteFile(name, ReadTextFile(m_dir.Sub(std::string("release/") + name)));
    }
  }

  // The installation is build 102, the uninstaller log aside (the patcher
  // appends a record per added file).
  void ExpectBuild102() {
    BramPatch::Tree installed = BramPatch::ReadTree(m_dir.Sub("install"));
    BramPatch::Tree expected = BramPatch::ReadTree(m_dir.Sub("b/102"));
    installed.erase("unins000.dat");
    expected.erase("unins000.dat");
    EXPECT_TRUE(installed == expected) << "the patched installation differs from build 102";
  }

  ScopedTempDir m_dir;
  ScopedEnv m_registry{"OMVEL_REGISTRY", m_dir.Sub("registry.reg").c_str()};
  ScopedEnv m_temp{"TEMP", m_dir.Sub("temp").c_str()};
  ScopedEnv m_elevate{"OMVEL_ELEVATE", "false"};
  ScopedEnv m_no_proxy{"no_proxy", "127.0.0.1,localhost"};
};

TEST_F(DownloadModeCli, PatchesTo102OverHttpAndRebuildsTheDatabase) {
  NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  Publish(nginx);
  const CliRun run =
      RunCli("-s " + Quote(nginx.Url("")) + " -f 102 100 " + Quote(m_dir.Sub("install")));
  EXPECT_EQ(run.m_exit, 0) << run.m_output;
  for (const char* line : {"Searching for patches...", "Downloading patch file...",
                           "Updating Kestro asset database...", "Patching completed."}) {
    EXPECT_NE(run.m_output.find(line), std::string::npos) << line << "\n" << run.m_output;
  }
  ExpectBuild102();
  // The archives stay in TEMP.
  EXPECT_TRUE(fs::exists(m_dir.Sub("temp/101_to_102.zip")));
}

TEST_F(DownloadModeCli, FailedDownloadOverFtpAbortsWithThePatchesBeforeKept) {
  VsftpdServer vsftpd;
  ASSERT_TRUE(vsftpd.Start());
  Publish(vsftpd);
  fs::remove(vsftpd.Root() + "/101_to_102.zip");
  const CliRun run =
      RunCli("-s " + Quote(vsftpd.Url("")) + " -f 102 100 " + Quote(m_dir.Sub("install")));
  EXPECT_EQ(run.m_exit, 1) << run.m_output;
  for (const char* line :
       {"Unable to download patch file: ", "Patch download failed.", "Patching aborted."}) {
    EXPECT_NE(run.m_output.find(line), std::string::npos) << line << "\n" << run.m_output;
  }
  EXPECT_EQ(run.m_output.find("Updating Kestro asset database"), std::string::npos);
  // Build 101's launcher: the first patch stays installed.
  EXPECT_EQ(ReadTextFile(m_dir.Sub("install/bin/Launcher.exe")),
            ReadTextFile(m_dir.Sub("b/101/bin/Launcher.exe")));
}

}  // namespace

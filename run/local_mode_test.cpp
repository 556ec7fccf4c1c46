#include "run/local_mode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/archive_writer.h"
#include "engine/package_reader.h"
#include "engine/package_writer.h"
#include "engine/patch_options.h"
#include "foundation/paths_test_support.h"
#include "kit/file_checksum.h"
#include "run/run_test_support.h"
#include "text/messages.h"

namespace BramPatch {
namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// An installation whose launcher identifies its build, and a patcher that
// carries a package of chained (source, target) steps for that launcher.
class LocalModeTest : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(m_install + "/bin/Launcher.exe", "launcher of build 100");
    SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
  }

  // The MD5 of the launcher of a build, as the package records it.
  std::string LauncherChecksum(const std::string& build) {
    WriteFile(m_dir + "/launcher", "launcher of build " + build);
    std::string checksum;
    EXPECT_TRUE(ComputeFileChecksum(m_dir + "/launcher", &checksum));
    return checksum;
  }

  // Returns the patcher's path.
  std::string MakePatcher(const std::vector<std::pair<std::string, std::string>>& steps) {
    fs::create_directories(m_dir + "/empty");
    std::string error;
    const std::string archive = m_dir + "/step.zip";
    EXPECT_TRUE(PackDirectory(m_dir + "/empty", archive, &error)) << error;
    WriteFile(m_dir + "/patcher.bin", "the patcher's program image");
    std::vector<PackageInput> inputs;
    for (const auto& [source, target] : steps) {
      PackageInput input;
      input.m_record.m_identifyingFile = "bin\\Launcher.exe";
      input.m_record.m_checksum = LauncherChecksum(source);
      input.m_record.m_sourceVersion = source;
      input.m_record.m_targetVersion = target;
      input.m_archivePath = archive;
      inputs.push_back(input);
    }
    const std::string patcher = m_dir + "/patcher";
    EXPECT_TRUE(WritePackage(m_dir + "/patcher.bin", inputs, patcher, &error)) << error;
    return patcher;
  }

  ScopedTempDir m_temp;
  const std::string m_dir = m_temp.path();
  const std::string m_install = m_dir + "/Kestro";
  ScopedEnvironment m_tempVariable{"TEMP", m_dir + "/temp"};
  RecordingView m_view;
  PatchOptions m_options;
  PatchPackage m_package;
};

class FakeInstaller : public PatchInstaller {
 public:
  BramResult InstallPatchArchive(const std::string& archivePath) override {
    archives.push_back(fs::path(archivePath).filename().string());
    return archives.size() == failAt ? BRAMRESULT_BAD_FORMAT : BRAMRESULT_OK;
  }
  void RebuildAssetDatabase() override { ++rebuilds; }
  std::vector<std::string> archives;
  std::size_t failAt = 0;  // 1-based install that fails; 0 for none
  int rebuilds = 0;
};

TEST_F(LocalModeTest, DetectionAsksForTheInstallationAndSelectsLocalMode) {
  const std::string patcher = MakePatcher({{"100", "101"}, {"101", "102"}});
  m_options.SetDownload(true);
  m_options.SetRepair(true);
  m_view.executableAnswer = m_install + "/bin/Kestro.exe";
  ASSERT_TRUE(DetectLocalPackage(patcher, false, m_options, m_package));
  EXPECT_EQ(m_view.Texts(), (std::vector<std::string>{"Ready to install from local patch file.",
                                                      "Current version: 100.", ""}));
  EXPECT_TRUE(m_options.IsLocal());
  EXPECT_FALSE(m_options.IsDownload());
  EXPECT_FALSE(m_options.IsRepair());
  EXPECT_EQ(m_options.GetInstallPath(), m_install + "/");
  EXPECT_EQ(m_view.browseEnabled, true);
  EXPECT_EQ(m_view.applyUpdateEnabled, true);
}

TEST_F(LocalModeTest, DetectionRefusals) {
  const std::string patcher = MakePatcher({{"100", "101"}});
  {
    SCOPED_TRACE("user cancels the choice");
    m_view.texts.clear();
    EXPECT_FALSE(DetectLocalPackage(patcher, false, m_options, m_package));
    EXPECT_EQ(m_view.Texts(), (std::vector<std::string>{"Unable to determine installation "
                                                        "location. Aborted patching at user's "
                                                        "request."}));
  }
  {
    SCOPED_TRACE("installation at another build");
    WriteFile(m_install + "/bin/Launcher.exe", "launcher of build 102");
    m_view.texts.clear();
    m_view.executableAnswer = m_install + "/Kestro.exe";
    EXPECT_FALSE(DetectLocalPackage(patcher, false, m_options, m_package));
    EXPECT_EQ(m_view.Texts(), (std::vector<std::string>{"This patch file is not applicable to "
                                                        "your current installation version."}));
    EXPECT_FALSE(m_options.IsLocal());
  }
  {
    SCOPED_TRACE("no package");
    m_view.texts.clear();
    EXPECT_FALSE(DetectLocalPackage(m_dir + "/patcher.bin", false, m_options, m_package));
    EXPECT_TRUE(m_view.texts.empty());
  }
  {
    SCOPED_TRACE("package longer than its header says");
    std::ifstream in(patcher, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WriteFile(m_dir + "/cut", bytes + "!");  // one byte longer than the header says
    m_view.texts.clear();
    EXPECT_FALSE(DetectLocalPackage(m_dir + "/cut", false, m_options, m_package));
    EXPECT_EQ(m_view.Texts(), (std::vector<std::string>{"File error while reading patch data."}));
  }
}

TEST_F(LocalModeTest, RunWalksTheChainThenRebuilds) {
  const std::string patcher = MakePatcher({{"100", "101"}, {"101", "102"}});
  m_view.executableAnswer = m_install + "/Kestro.exe";
  ASSERT_TRUE(DetectLocalPackage(patcher, false, m_options, m_package));
  m_view.texts.clear();
  FakeInstaller installer;
  EXPECT_TRUE(RunLocalMode(m_options, m_package, installer));
  EXPECT_EQ(m_view.Texts(),
            (std::vector<std::string>{"Patching from 100 to 101.", "Patching from 101 to 102.",
                                      "There are no more patches for this build."}));
  EXPECT_EQ(installer.archives, (std::vector<std::string>{"100_to_101.zip", "101_to_102.zip"}));
  EXPECT_TRUE(fs::exists(m_dir + "/temp/101_to_102.zip"));  // the extracted file stays
  EXPECT_EQ(installer.rebuilds, 1);
  EXPECT_EQ(m_view.patchesInstalled, 2);
  EXPECT_EQ(m_options.GetNextVersion(), "");
}

TEST_F(LocalModeTest, FinalVersionStopsTheChain) {
  const std::string patcher = MakePatcher({{"100", "101"}, {"101", "102"}});
  m_view.executableAnswer = m_install + "/Kestro.exe";
  ASSERT_TRUE(DetectLocalPackage(patcher, false, m_options, m_package));
  m_options.SetFinalVersion("101");
  FakeInstaller installer;
  EXPECT_TRUE(RunLocalMode(m_options, m_package, installer));
  EXPECT_EQ(installer.archives, (std::vector<std::string>{"100_to_101.zip"}));
  EXPECT_EQ(installer.rebuilds, 1);
}

TEST_F(LocalModeTest, FailedStepAbortsWithoutRebuild) {
  const std::string patcher = MakePatcher({{"100", "101"}, {"101", "102"}});
  m_view.executableAnswer = m_install + "/Kestro.exe";
  ASSERT_TRUE(DetectLocalPackage(patcher, false, m_options, m_package));
  FakeInstaller installer;
  installer.failAt = 2;
  EXPECT_FALSE(RunLocalMode(m_options, m_package, installer));
  EXPECT_EQ(installer.rebuilds, 0);
  EXPECT_EQ(m_view.patchesInstalled, 1);
}

TEST_F(LocalModeTest, TemporaryDirectoryThatCannotBeMade) {
  const std::string patcher = MakePatcher({{"100", "101"}});
  m_view.executableAnswer = m_install + "/Kestro.exe";
  ASSERT_TRUE(DetectLocalPackage(patcher, false, m_options, m_package));
  WriteFile(m_dir + "/blocker", "a file where the directory would go");
  ScopedEnvironment blockedTemp("TEMP", m_dir + "/blocker/temp");
  m_view.texts.clear();
  FakeInstaller installer;
  EXPECT_FALSE(RunLocalMode(m_options, m_package, installer));
  EXPECT_EQ(m_view.Texts(), (std::vector<std::string>{"Patching from 100 to 101.",
                                                      "Unable to create temporary file."}));
}

}  // namespace
}  // namespace BramPatch

// Download mode from end to end: sample builds 100, 101 and 102 released with
// omvel-patchkit, served by nginx (HTTP, HTTPS) and vsftpd, downloaded by the
// loop and applied to a sample of 100 by the file patch engine; the result
// must be build 102.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/archive_reader.h"
#include "engine/engine_test_support.h"
#include "engine/patch_data_paths.h"
#include "engine/patch_engine.h"
#include "engine/patch_installer.h"
#include "engine/patch_options.h"
#include "engine/temp_directory.h"
#include "foundation/paths.h"
#include "online/download_mode.h"
#include "online/download_mode_task.h"
#include "online/download_mode_test_support.h"
#include "online/online_test_servers.h"
#include "online/online_test_support.h"
#include "text/messages.h"

namespace {

namespace fs = std::filesystem;
using namespace online_test;
using BramPatch::Tree;

const std::string PATCHKIT = std::string(OMVEL_BIN_DIR) + "/omvel-patchkit";

// Installs as the patch worker does: unpacks into a fresh folder below
// `unpack_base`, applies, removes the folder.
class EngineInstaller : public BramPatch::PatchInstaller {
 public:
  EngineInstaller(std::string install, std::string unpack_base)
      : m_install(std::move(install)), m_unpack_base(std::move(unpack_base)) {}

  BramResult InstallPatchArchive(const std::string& archivePath) override {
    std::string directory = m_unpack_base;
    if (!BramPatch::MakeUniqueTempDirectory(&directory)) return BRAMRESULT_IO_FAILURE;
    std::string error;
    const bool applied =
        BramPatch::UnpackArchive(archivePath, directory, &error) &&
        BramPatch::ApplyPatchDirectory(m_install, directory, BramPatch::PATCH_LAST_FILE_NAME);
    EXPECT_EQ(error, "");
    RemoveTree(directory);
    return applied ? BRAMRESULT_OK : BRAMRESULT_BAD_FORMAT;
  }
  void RebuildAssetDatabase() override { ++m_rebuilds; }

  int m_rebuilds = 0;

 private:
  std::string m_install;
  std::string m_unpack_base;
};

class DownloadEndToEnd : public ::testing::Test {
 protected:
  // The builds and their release are made once for all tests.
  static void SetUpTestSuite() {
    s_work = new ScopedTempDir;
    for (const char* build : {"100", "101", "102"}) {
      RunToEnd(PATCHKIT,
               "sample " + Quote(s_work->Sub(std::string("b/") + build)) + " --build " + build);
    }
    RunToEnd(PATCHKIT, "release " + Quote(s_work->Sub("b/100")) + " " +
                           Quote(s_work->Sub("b/101")) + " " + Quote(s_work->Sub("b/102")) +
                           " --out " + Quote(s_work->Sub("release")));
  }
  static void TearDownTestSuite() {
    delete s_work;
    s_work = nullptr;
  }

  void SetUp() override {
    SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
    ASSERT_TRUE(fs::exists(s_work->Sub("release/patches.txt")));
    fs::create_directories(m_temp.Sub("unpack"));
  }

  static std::string Release(const std::string& name) { return s_work->Sub("release/" + name); }

  // A fresh sample of 100, patched by the loop from `server` up to 102.
  struct Outcome {
    bool m_completed = false;
    int m_installed = -1;
    int m_rebuilds = 0;
    std::vector<Posted> m_texts;
    Tree m_tree;
  };
  Outcome PatchFrom(const std::string& server) {
    const std::string install = m_temp.Sub("install");
    fs::remove_all(install);
    fs::copy(s_work->Sub("b/100"), install, fs::copy_options::recursive);
    EngineInstaller installer(install, m_temp.Sub("unpack"));
    TextRecorder texts;
    BramPatch::PatchOptions options;
    options.AddServer(server);
    options.SetCurrentVersion("100");
    options.SetFinalVersion("102");
    BramPatch::PatchDownloadTask task;
    BramPatch::DownloadModeHooks hooks;
    hooks.m_download_directory = m_downloads;
    Outcome outcome;
    outcome.m_completed =
        BramPatch::RunDownloadMode(options, task, installer, hooks, &outcome.m_installed);
    outcome.m_rebuilds = installer.m_rebuilds;
    outcome.m_texts = texts.m_texts;
    outcome.m_tree = BramPatch::ReadTree(install);
    return outcome;
  }

  // Build 102 as the patcher leaves it: the uninstaller log has grown.
  static void ExpectBuild102(Tree tree) {
    Tree expected = BramPatch::ReadTree(s_work->Sub("b/102"));
    ASSERT_EQ(tree.count("unins000.dat"), 1u);
    EXPECT_GT(tree.at("unins000.dat").size(), expected.at("unins000.dat").size());
    tree.erase("unins000.dat");
    expected.erase("unins000.dat");
    EXPECT_TRUE(tree == expected) << "the patched installation differs from build 102";
  }

  static ScopedTempDir* s_work;
  ShortTimeouts m_timeouts;
  ScopedTempDir m_temp;
  const std::string m_downloads = m_temp.Sub("downloads");
};

ScopedTempDir* DownloadEndToEnd::s_work = nullptr;

TEST_F(DownloadEndToEnd, SamplePatchedTo102OverHttpHttpsAndFtp) {
  NginxServer nginx;
  VsftpdServer vsftpd;
  ASSERT_TRUE(nginx.Start());
  ASSERT_TRUE(vsftpd.Start());
  ScopedEnv bundle("CURL_CA_BUNDLE", nullptr);
  ScopedEnv trust("SSL_CERT_FILE", nginx.CertificateFile().c_str());
  for (const char* name : {"patches.txt", "100_to_101.zip", "101_to_102.zip"}) {
    nginx.WriteFile(name, ReadTextFile(Release(name)));
    vsftpd.WriteFile(name, ReadTextFile(Release(name)));
  }
  for (const std::string& server : {nginx.Url(""), nginx.TlsUrl(""), vsftpd.Url("")}) {
    SCOPED_TRACE(server);
    fs::remove_all(m_downloads);
    const Outcome outcome = PatchFrom(server);
    EXPECT_TRUE(outcome.m_completed);
    EXPECT_EQ(outcome.m_installed, 2);
    EXPECT_EQ(outcome.m_rebuilds, 1);
    EXPECT_EQ(outcome.m_texts.back(), (Posted{0, "Client is at the final version: 102"}));
    ExpectBuild102(outcome.m_tree);
  }
}

TEST_F(DownloadEndToEnd, PartialArchiveInTheDownloadFolderIsResumedOverFtp) {
  VsftpdServer vsftpd;
  ASSERT_TRUE(vsftpd.Start());
  for (const char* name : {"patches.txt", "100_to_101.zip", "101_to_102.zip"}) {
    vsftpd.WriteFile(name, ReadTextFile(Release(name)));
  }
  const std::string archive = ReadTextFile(Release("100_to_101.zip"));
  const size_t half = archive.size() / 2;
  fs::create_directories(m_downloads);
  WriteTextFile(m_downloads + "/100_to_101.zip", archive.substr(0, half));

  const Outcome outcome = PatchFrom(vsftpd.Url(""));
  EXPECT_TRUE(outcome.m_completed);
  ExpectBuild102(outcome.m_tree);
  const std::vector<std::string> commands = vsftpd.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "REST " + std::to_string(half)),
            commands.end());
}

}  // namespace

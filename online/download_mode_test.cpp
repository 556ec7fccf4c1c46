// The download loop against nginx, vsftpd and the fault servers on
// 127.0.0.1, with an installer that records what it is given.
#include "online/download_mode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "engine/patch_options.h"
#include "foundation/paths.h"
#include "online/download_mode_task.h"
#include "online/download_mode_test_support.h"
#include "online/download_mode_transfer.h"
#include "online/online_test_servers.h"
#include "online/online_test_support.h"
#include "text/messages.h"

namespace {

using namespace online_test;
using BramPatch::DOWNLOAD_STATE_APPLYING;
using BramPatch::DOWNLOAD_STATE_DOWNLOADING;
using BramPatch::DownloadModeHooks;
using BramPatch::DownloadModeTransfer;
using BramPatch::DownloadProgress;
using BramPatch::PatchDownloadTask;
using BramPatch::PatchOptions;

const Posted SEARCHING{0, "Searching for patches..."};
const Posted DOWNLOADING{0, "Downloading patch file..."};
const Posted DOWNLOAD_FAILED{2, "Patch download failed."};
const Posted NO_SIZE{1,
                     "Unable to determine the size of the patch file. Possible problem with local "
                     "proxy or firewall software."};

Posted AtFinal(const std::string& version) {
  return {0, "Client is at the final version: " + version};
}
Posted NoMorePatches(const std::string& version) {
  return {0, "No (more) patches at server for version: " + version};
}

// One run of the loop with everything it touches.
struct LoopRun {
  LoopRun(const std::string& download_directory, DownloadModeTransfer* transfer = nullptr)
      : task(transfer) {
    hooks.m_download_directory = download_directory;
    hooks.m_patch_installed = [this] { ++installed_events; };
  }
  bool Run() { return BramPatch::RunDownloadMode(options, task, installer, hooks, &installed); }
  std::string Archive(const std::string& name) const {
    return hooks.m_download_directory + "/" + name;
  }

  TextRecorder texts;
  PatchOptions options;
  PatchDownloadTask task;
  RecordingInstaller installer{task};
  DownloadModeHooks hooks;
  int installed = -1;
  int installed_events = 0;
};

class DownloadModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
    ASSERT_TRUE(m_nginx.Start());
  }

  // patches.txt 100 -> 101 -> 102 with relative archive names, written by
  // `write` (a server's WriteFile).
  template <typename Server>
  void PublishChain(const Server& server, const std::string& folder = "") {
    server.WriteFile(folder + "patches.txt", CatalogueBlock("100", "101", "100_to_101.zip") +
                                                 CatalogueBlock("101", "102", "101_to_102.zip"));
    server.WriteFile(folder + "100_to_101.zip", m_first);
    server.WriteFile(folder + "101_to_102.zip", m_second);
  }

  void MakeFolder(const std::string& folder) {
    std::filesystem::create_directories(m_nginx.Root() + "/" + folder);
  }

  ShortTimeouts m_timeouts;
  ScopedEnv m_trust{"SSL_CERT_FILE", nullptr};
  ScopedEnv m_bundle{"CURL_CA_BUNDLE", nullptr};
  NginxServer m_nginx;
  ScopedTempDir m_temp;
  const std::string m_downloads = m_temp.Sub("downloads");
  const std::string m_first = RandomBytes(70000, 1);
  const std::string m_second = RandomBytes(50000, 2);
};

TEST_F(DownloadModeTest, ChainsPatchesOverHttpHttpsAndFtp) {
  ScopedEnv trust("SSL_CERT_FILE", m_nginx.CertificateFile().c_str());
  VsftpdServer vsftpd;
  ASSERT_TRUE(vsftpd.Start());
  PublishChain(m_nginx);
  PublishChain(vsftpd);
  const std::string servers[] = {m_nginx.Url(""), m_nginx.TlsUrl(""), vsftpd.Url("")};
  for (const std::string& server : servers) {
    SCOPED_TRACE(server);
    std::filesystem::remove_all(m_downloads);
    LoopRun run(m_downloads);
    run.options.AddServer(server);
    run.options.SetCurrentVersion("100");
    run.options.SetFinalVersion("102");

    ASSERT_TRUE(run.Run());
    EXPECT_EQ(run.texts.m_texts,
              (std::vector<Posted>{SEARCHING, DOWNLOADING, DOWNLOADING, AtFinal("102")}));
    EXPECT_EQ(run.installer.m_archives, (std::vector<std::string>{m_first, m_second}));
    EXPECT_EQ(run.installer.m_paths, (std::vector<std::string>{run.Archive("100_to_101.zip"),
                                                               run.Archive("101_to_102.zip")}));
    EXPECT_EQ(run.installed, 2);
    EXPECT_EQ(run.installed_events, 2);
    EXPECT_EQ(run.installer.m_rebuilds, 1);
    EXPECT_EQ(run.options.GetCurrentVersion(), "102");
    EXPECT_EQ(run.options.GetNextVersion(), "");
    EXPECT_EQ(run.task.GetCatalogueServer(), server);
    // While an archive is installed the figures are final: the whole file.
    for (size_t i = 0; i < run.installer.m_progress.size(); ++i) {
      const DownloadProgress& progress = run.installer.m_progress[i];
      EXPECT_EQ(progress.m_state, DOWNLOAD_STATE_APPLYING);
      EXPECT_EQ(progress.m_bytes_total, run.installer.m_archives[i].size());
      EXPECT_EQ(progress.m_bytes_done, progress.m_bytes_total);
      EXPECT_EQ(progress.m_percent, 100u);
    }
    // The archives stay in the download folder.
    EXPECT_EQ(ReadTextFile(run.Archive("101_to_102.zip")), m_second);
  }
}

TEST_F(DownloadModeTest, WithoutFinalVersionEndsWhereTheCatalogueEnds) {
  PublishChain(m_nginx);
  LoopRun run(m_downloads);
  run.options.AddServer(m_nginx.Url(""));
  run.options.SetCurrentVersion("100");
  ASSERT_TRUE(run.Run());
  EXPECT_EQ(run.texts.m_texts,
            (std::vector<Posted>{SEARCHING, DOWNLOADING, DOWNLOADING, NoMorePatches("102")}));
  EXPECT_EQ(run.installed, 2);
  EXPECT_EQ(run.installer.m_rebuilds, 1);
}

TEST_F(DownloadModeTest, AtTheFinalVersionNothingIsDownloadedOrRebuilt) {
  PublishChain(m_nginx);
  LoopRun run(m_downloads);
  run.options.AddServer(m_nginx.Url(""));
  run.options.SetCurrentVersion("102");
  run.options.SetFinalVersion("102");
  ASSERT_TRUE(run.Run());
  EXPECT_EQ(run.texts.m_texts, (std::vector<Posted>{SEARCHING, AtFinal("102")}));
  EXPECT_EQ(run.installed, 0);
  EXPECT_EQ(run.installer.m_rebuilds, 0);
  EXPECT_TRUE(run.installer.m_paths.empty());
  for (const std::string& line : m_nginx.AccessLog()) {
    EXPECT_EQ(line.rfind("GET /patches.txt ", 0), 0u) << line;
  }
}

TEST_F(DownloadModeTest, ServersAreTriedInOrderUntilACatalogueParses) {
  const std::string dead = "http://127.0.0.1:" + std::to_string(FreePort());
  MakeFolder("bad");
  MakeFolder("good");
  m_nginx.WriteFile("bad/patches.txt", "this is no catalogue\n");
  PublishChain(m_nginx, "good/");

  LoopRun run(m_downloads);
  for (const std::string& server : {std::string(), dead, m_nginx.Url("bad"), m_nginx.Url("good")}) {
    run.options.AddServer(server);
  }
  run.options.SetCurrentVersion("100");
  run.options.SetFinalVersion("101");
  ASSERT_TRUE(run.Run());
  EXPECT_EQ(run.texts.m_texts,
            (std::vector<Posted>{SEARCHING,
                                 {0, "Unable to download patch file: " + dead + "/patches.txt"},
                                 DOWNLOADING,
                                 AtFinal("101")}));
  EXPECT_EQ(run.task.GetCatalogueServer(), m_nginx.Url("good"));
  EXPECT_EQ(run.installer.m_archives, std::vector<std::string>{m_first});
}

TEST_F(DownloadModeTest, NoServerWithACatalogueAbortsTheRun) {
  const std::string dead = "http://127.0.0.1:" + std::to_string(FreePort()) + "/";
  MakeFolder("bad");
  m_nginx.WriteFile("bad/patches.txt", "source-version 100\n");
  LoopRun run(m_downloads);
  run.options.AddServer(dead);
  run.options.AddServer(m_nginx.Url("bad"));
  run.options.SetCurrentVersion("100");
  EXPECT_FALSE(run.Run());
  EXPECT_EQ(run.texts.m_texts,
            (std::vector<Posted>{SEARCHING,
                                 {0, "Unable to download patch file: " + dead + "patches.txt"},
                                 {0, "Unable to connect to any patch servers."}}));
  EXPECT_EQ(run.installed, 0);
  EXPECT_EQ(run.installer.m_rebuilds, 0);
}

TEST_F(DownloadModeTest, CandidateBuildsAreTriedInTurn) {
  PublishChain(m_nginx);
  {
    LoopRun run(m_downloads);
    run.options.AddServer(m_nginx.Url(""));
    run.options.AddCandidateBuild("99");
    run.options.AddCandidateBuild("100");
    run.options.SetFinalVersion("101");
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(run.texts.m_texts,
              (std::vector<Posted>{SEARCHING, NoMorePatches("99"), DOWNLOADING, AtFinal("101")}));
    EXPECT_EQ(run.installer.m_paths, std::vector<std::string>{run.Archive("100_to_101.zip")});
  }
  {
    // No patch and no candidate left: a normal end, nothing to rebuild.
    LoopRun run(m_downloads);
    run.options.AddServer(m_nginx.Url(""));
    run.options.SetCurrentVersion("98");
    run.options.SetFinalVersion("101");
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(run.texts.m_texts, (std::vector<Posted>{SEARCHING, NoMorePatches("98")}));
    EXPECT_EQ(run.installer.m_rebuilds, 0);
    EXPECT_EQ(run.options.GetCurrentVersion(), "98");
  }
}

TEST_F(DownloadModeTest, UnknownSizeIsAWarningAndAnySizePasses) {
  FaultServer fault;
  ASSERT_TRUE(fault.StartHttp());
  m_nginx.WriteFile("patches.txt", CatalogueBlock("100", "101", fault.Url("http", "nolength")));
  LoopRun run(m_downloads);
  run.options.AddServer(m_nginx.Url(""));
  run.options.SetCurrentVersion("100");
  run.options.SetFinalVersion("101");
  ASSERT_TRUE(run.Run());
  EXPECT_EQ(run.texts.m_texts,
            (std::vector<Posted>{SEARCHING, NO_SIZE, DOWNLOADING, AtFinal("101")}));
  EXPECT_EQ(run.installer.m_archives, std::vector<std::string>{"no length here"});
  ASSERT_EQ(run.installer.m_progress.size(), 1u);
  EXPECT_EQ(run.installer.m_progress[0].m_bytes_total, 0u);
  EXPECT_EQ(run.installer.m_progress[0].m_percent, 0u);
}

// Announces the size the server reports plus `m_delta` bytes.
class MisannouncedSize : public DownloadModeTransfer {
 public:
  explicit MisannouncedSize(int delta) : m_delta(delta) {}
  BramResult QuerySize(const std::string& url, std::uint64_t* size) override {
    const BramResult result = DownloadModeTransfer::QuerySize(url, size);
    *size += m_delta;
    return result;
  }

 private:
  int m_delta;
};

TEST_F(DownloadModeTest, ArchiveMustHaveTheAnnouncedSize) {
  m_nginx.WriteFile("patches.txt", CatalogueBlock("100", "101", "100_to_101.zip"));
  m_nginx.WriteFile("100_to_101.zip", m_first);
  const std::string url = m_nginx.Url("100_to_101.zip");
  const struct {
    int delta;
    bool installed;
    std::vector<Posted> texts_after_downloading;
  } cases[] = {
      {0, true, {AtFinal("101")}},
      // One byte short of the announced size.
      {1, false, {DOWNLOAD_FAILED}},
      // More than announced is refused while it arrives.
      {-1, false, {{2, "Unable to download patch file: " + url}, DOWNLOAD_FAILED}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.delta);
    std::filesystem::remove_all(m_downloads);
    MisannouncedSize transfer(c.delta);
    LoopRun run(m_downloads, &transfer);
    run.options.AddServer(m_nginx.Url(""));
    run.options.SetCurrentVersion("100");
    run.options.SetFinalVersion("101");
    EXPECT_EQ(run.Run(), c.installed);
    std::vector<Posted> expected{SEARCHING, DOWNLOADING};
    expected.insert(expected.end(), c.texts_after_downloading.begin(),
                    c.texts_after_downloading.end());
    EXPECT_EQ(run.texts.m_texts, expected);
    EXPECT_EQ(run.installed, c.installed ? 1 : 0);
    EXPECT_EQ(run.installer.m_rebuilds, c.installed ? 1 : 0);
  }
}

TEST_F(DownloadModeTest, FailedInstallDeletesItsArchiveAndKeepsTheEarlierPatch) {
  PublishChain(m_nginx);
  LoopRun run(m_downloads);
  run.installer.m_fail_from = 2;
  run.options.AddServer(m_nginx.Url(""));
  run.options.SetCurrentVersion("100");
  run.options.SetFinalVersion("102");
  EXPECT_FALSE(run.Run());
  EXPECT_EQ(run.texts.m_texts, (std::vector<Posted>{SEARCHING, DOWNLOADING, DOWNLOADING}));
  EXPECT_EQ(run.installed, 1);
  EXPECT_EQ(run.installer.m_rebuilds, 0);
  EXPECT_EQ(run.options.GetCurrentVersion(), "101");
  EXPECT_TRUE(FileExists(run.Archive("100_to_101.zip")));
  EXPECT_FALSE(FileExists(run.Archive("101_to_102.zip")));
}

TEST_F(DownloadModeTest, CancelDuringTheDownloadKeepsTheInstalledPatches) {
  const std::string large = RandomBytes(4 << 20, 3);
  m_nginx.WriteFile("patches.txt", CatalogueBlock("100", "101", "100_to_101.zip") +
                                       CatalogueBlock("101", "102", "101_to_102.zip"));
  m_nginx.WriteFile("100_to_101.zip", m_first);
  m_nginx.WriteFile("101_to_102.zip", large);

  LoopRun run(m_downloads);
  // Cancelled a few chunks into the second archive.
  int asked_after_install = 0;
  run.hooks.m_cancel_requested = [&] {
    return run.installed_events > 0 && ++asked_after_install > 3;
  };
  run.options.AddServer(m_nginx.Url(""));
  run.options.SetCurrentVersion("100");
  run.options.SetFinalVersion("102");
  EXPECT_FALSE(run.Run());
  EXPECT_EQ(
      run.texts.m_texts,
      (std::vector<Posted>{SEARCHING,
                           DOWNLOADING,
                           DOWNLOADING,
                           {2, "Unable to download patch file: " + m_nginx.Url("101_to_102.zip")},
                           DOWNLOAD_FAILED}));
  EXPECT_EQ(run.installed, 1);
  EXPECT_EQ(run.installer.m_archives, std::vector<std::string>{m_first});
  EXPECT_EQ(run.installer.m_rebuilds, 0);
  EXPECT_EQ(run.options.GetCurrentVersion(), "101");
}

// Through the window's flag, or through the engine's keep-going predicate
// (a worker destroyed with its window).
TEST_F(DownloadModeTest, CancelWhileSearchingStopsAtTheFirstServer) {
  PublishChain(m_nginx);
  for (const bool through_keep_going : {false, true}) {
    SCOPED_TRACE(through_keep_going);
    LoopRun run(m_downloads);
    if (through_keep_going) {
      run.texts.SetKeepGoing([] { return false; });
    } else {
      run.hooks.m_cancel_requested = [] { return true; };
    }
    run.options.AddServer(m_nginx.Url(""));
    run.options.AddServer(m_nginx.TlsUrl(""));
    run.options.SetCurrentVersion("100");
    EXPECT_FALSE(run.Run());
    EXPECT_EQ(run.texts.m_texts,
              (std::vector<Posted>{
                  SEARCHING, {0, "Unable to download patch file: " + m_nginx.Url("patches.txt")}}));
  }
}

TEST_F(DownloadModeTest, UnusableDownloadFolderOrFile) {
  PublishChain(m_nginx);
  WriteTextFile(m_temp.Sub("plain-file"), "x");
  std::filesystem::create_directories(m_temp.Sub("taken/100_to_101.zip"));
  const struct {
    std::string folder;
    std::vector<Posted> texts_after_searching;
  } cases[] = {
      {m_temp.Sub("plain-file/downloads"), {{2, "Unable to create temporary file."}}},
      {m_temp.Sub("taken"),
       {DOWNLOADING,
        {2, "Unable to open the patch file for writing: " + m_temp.Sub("taken/100_to_101.zip")},
        DOWNLOAD_FAILED}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    LoopRun run(c.folder);
    run.options.AddServer(m_nginx.Url(""));
    run.options.SetCurrentVersion("100");
    EXPECT_FALSE(run.Run());
    std::vector<Posted> expected{SEARCHING};
    expected.insert(expected.end(), c.texts_after_searching.begin(), c.texts_after_searching.end());
    EXPECT_EQ(run.texts.m_texts, expected);
    EXPECT_TRUE(run.installer.m_paths.empty());
  }
}

TEST_F(DownloadModeTest, CatalogueLeadingBackStopsTheLoop) {
  m_nginx.WriteFile("100_to_101.zip", m_first);
  m_nginx.WriteFile("101_to_100.zip", m_second);
  m_nginx.WriteFile("100_to_100.zip", m_second);
  const struct {
    std::string catalogue;
    int installed;
    Posted stop;
  } cases[] = {
      {CatalogueBlock("100", "101", "100_to_101.zip") +
           CatalogueBlock("101", "100", "101_to_100.zip"),
       1,
       {1,
        "The patch for version 101 leads back to version 100, which this run has already "
        "passed; no further patches are applied."}},
      {CatalogueBlock("100", "100", "100_to_100.zip"),
       0,
       {1,
        "The patch for version 100 leads back to version 100, which this run has already "
        "passed; no further patches are applied."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.catalogue);
    m_nginx.WriteFile("patches.txt", c.catalogue);
    LoopRun run(m_downloads);
    run.options.AddServer(m_nginx.Url(""));
    run.options.SetCurrentVersion("100");
    EXPECT_TRUE(run.Run());
    EXPECT_EQ(run.installed, c.installed);
    EXPECT_EQ(run.texts.m_texts.back(), c.stop);
    EXPECT_EQ(run.installer.m_rebuilds, c.installed > 0 ? 1 : 0);
  }
}

TEST_F(DownloadModeTest, LeftoverArchiveIsResumedOverFtpOnly) {
  VsftpdServer vsftpd;
  ASSERT_TRUE(vsftpd.Start());
  PublishChain(m_nginx);
  PublishChain(vsftpd);
  const struct {
    const char* name;
    std::string server;
    std::string leftover;
    bool resumes;
  } cases[] = {
      {"ftp, partial", vsftpd.Url(""), m_first.substr(0, 1000), true},
      {"ftp, longer than the archive", vsftpd.Url(""), m_first + "tail", false},
      {"http, partial", m_nginx.Url(""), m_first.substr(0, 1000), false},
      {"http, longer than the archive", m_nginx.Url(""), m_first + "tail", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::create_directories(m_downloads);
    WriteTextFile(m_downloads + "/100_to_101.zip", c.leftover);
    const size_t commands_before = vsftpd.Commands().size();
    LoopRun run(m_downloads);
    run.options.AddServer(c.server);
    run.options.SetCurrentVersion("100");
    run.options.SetFinalVersion("101");
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(run.installer.m_archives, std::vector<std::string>{m_first});
    ASSERT_EQ(run.installer.m_progress.size(), 1u);
    EXPECT_EQ(run.installer.m_progress[0].m_bytes_resumed, c.resumes ? 1000u : 0u);
    const std::vector<std::string> commands = vsftpd.Commands();
    const bool rest_sent = std::find(commands.begin() + commands_before, commands.end(),
                                     "REST 1000") != commands.end();
    EXPECT_EQ(rest_sent, c.resumes);
  }
}

TEST_F(DownloadModeTest, ProgressIsVisibleFromAnotherThreadWhileDownloading) {
  const std::string large = RandomBytes(2 << 20, 4);
  m_nginx.WriteFile("patches.txt", CatalogueBlock("100", "101", "100_to_101.zip"));
  m_nginx.WriteFile("100_to_101.zip", large);
  LoopRun run(m_downloads);
  run.options.AddServer(m_nginx.Url(""));
  run.options.SetCurrentVersion("100");
  run.options.SetFinalVersion("101");

  // Ten chunks into the archive the transfer waits until the window's side
  // has sampled the progress.
  std::atomic<bool> paused{false};
  std::atomic<bool> sampled{false};
  DownloadProgress seen;
  int chunks = 0;
  run.hooks.m_cancel_requested = [&] {
    if (run.task.GetProgress().m_state == DOWNLOAD_STATE_DOWNLOADING && ++chunks == 10) {
      paused = true;
      while (!sampled) std::this_thread::yield();
    }
    return false;
  };
  std::thread window([&] {
    while (!paused) std::this_thread::yield();
    seen = run.task.GetProgress();
    sampled = true;
  });
  const bool completed = run.Run();
  window.join();
  ASSERT_TRUE(completed);
  EXPECT_EQ(seen.m_state, DOWNLOAD_STATE_DOWNLOADING);
  EXPECT_EQ(seen.m_bytes_total, large.size());
  EXPECT_GT(seen.m_bytes_done, 0u);
  EXPECT_LT(seen.m_bytes_done, large.size());
  EXPECT_EQ(seen.m_percent, seen.m_bytes_done * 100 / large.size());
  EXPECT_GT(seen.m_started.time_since_epoch().count(), 0);
}

}  // namespace

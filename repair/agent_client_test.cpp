// The repair client against the real repair server on 127.0.0.1.
#include "repair/agent_client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "kit/data_buffer_file.h"
#include "repair/repair_client_test_support.h"
#include "repair/repair_test_support.h"

using namespace RepairTest;

namespace {

// A reference build: files of several segments (compressible and not),
// small files in nested folders.
Tree ReferenceBuild() {
  return Tree{
      {"bin/Kestro.exe", RandomBytes(2 * SEGMENT_SIZE + 4321, 1)},
      {"bin/x.dll", TextBytes(SEGMENT_SIZE + 10, 2)},
      {"data/assets/a.pak", RandomBytes(300000, 3)},
      {"data/assets/b.pak", TextBytes(5000, 4)},
      {"data/readme.txt", "read me\n"},
      {"exact.bin", RandomBytes(SEGMENT_SIZE, 5)},
      {"unins000.exe", "the reference's uninstaller"},
  };
}

FileTreeSummary& LoadChecksumFile(const std::string& path, FileTreeSummary& summary) {
  BramDataBufferFile file(path, BRAMFILE_MODE_READ);
  EXPECT_TRUE(file.IsOpen()) << path;
  EXPECT_EQ(summary.LoadSummary(file), BRAMRESULT_OK);
  return summary;
}

}  // namespace

TEST(BramAgentClient, InstallationThatAlreadyMatches) {
  ScopedTempDir reference;
  ScopedTempDir installed;
  WriteTree(reference.path(), ReferenceBuild());
  WriteTree(installed.path(), ReferenceBuild());
  RepairServerProcess server(reference.path());
  ASSERT_TRUE(server.IsListening()) << server.Output();

  const RunOutcome outcome = RunRepair(installed.path(), server.Address());
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.stage, REPAIR_STAGE_FINISHED);
  EXPECT_EQ(outcome.error, BRAMRESULT_OK);
  EXPECT_EQ(outcome.total, 0u);
  EXPECT_EQ(outcome.received, 0u);
  EXPECT_EQ(outcome.progress, 1.0f);
  EXPECT_EQ(ReadTree(installed.path()).erase("repair.cks"), 1u);

  // The checksum file lists every segment but the uninstaller's.
  FileTreeSummary saved;
  EXPECT_EQ(LoadChecksumFile(installed.Sub("repair.cks"), saved).GetEntryCount(), 9u);
  SummaryEntry entry;
  EXPECT_FALSE(saved.FindEntry("unins000.exe#000", &entry));
  EXPECT_TRUE(server.WaitForOutput(std::regex("0 segments sent \\(0 compressed\\), 0 removals")))
      << server.Output();
}

TEST(BramAgentClient, DamagedInstallationBecomesIdenticalToTheReference) {
  ScopedTempDir reference;
  ScopedTempDir installed;
  const Tree build = ReferenceBuild();
  WriteTree(reference.path(), build);

  Tree damaged = build;
  damaged["bin/Kestro.exe"][SEGMENT_SIZE + 17] ^= 0x55;              // one byte in segment 1
  damaged["bin/x.dll"].resize(SEGMENT_SIZE - 3);                     // truncated
  damaged["data/assets/a.pak"] += RandomBytes(2 * SEGMENT_SIZE, 9);  // extended by segments
  damaged["data/assets/b.pak"] += "tail";                            // extended within one
  damaged.erase("data/readme.txt");                                  // missing
  damaged["extra/old.dat"] = RandomBytes(SEGMENT_SIZE + 1, 10);      // not in the build
  damaged["unins000.exe"] = "this machine's uninstaller";            // never repaired
  damaged["unins000.dat"] = "this machine's uninstaller log";        // nor removed
  WriteTree(installed.path(), damaged);
  std::filesystem::permissions(installed.Sub("bin/Kestro.exe"), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);

  RepairServerProcess server(reference.path());
  ASSERT_TRUE(server.IsListening()) << server.Output();
  const RunOutcome first = RunRepair(installed.path(), server.Address());
  EXPECT_TRUE(first.succeeded) << first.stage << " " << first.error;
  EXPECT_GT(first.total, 0u);
  EXPECT_EQ(first.received, first.total);

  Tree repaired = ReadTree(installed.path());
  EXPECT_EQ(repaired.erase("repair.cks"), 1u);
  EXPECT_EQ(repaired["unins000.exe"], "this machine's uninstaller");
  EXPECT_EQ(repaired["unins000.dat"], "this machine's uninstaller log");
  repaired["unins000.exe"] = build.at("unins000.exe");
  repaired.erase("unins000.dat");
  EXPECT_TRUE(repaired == build);
  for (const auto& [path, contents] : build) {
    EXPECT_EQ(repaired[path].size(), contents.size()) << path;
  }

  // The checksum file describes the repaired tree: a second run has nothing
  // to do and reads no file data.
  FileTreeSummary saved;
  LoadChecksumFile(installed.Sub("repair.cks"), saved);
  CountingSummary fresh;
  ASSERT_EQ(fresh.RegisterTree(installed.path(), {"repair.cks", "unins000.exe"}), BRAMRESULT_OK);
  EXPECT_EQ(saved.GetEntryCount(), fresh.GetEntryCount());
  for (const SummaryRecord& record : fresh.GetEntries()) {
    EXPECT_EQ(ChecksumOf(saved, record.key), record.entry.checksum) << record.key;
  }
  const RunOutcome second = RunRepair(installed.path(), server.Address());
  EXPECT_TRUE(second.succeeded);
  EXPECT_EQ(second.total, 0u);
}

TEST(BramAgentClient, RefusedConnectionFailsInStage3) {
  ScopedTempDir installed;
  WriteFileAt(installed.Sub("a.txt"), "a");
  const RunOutcome outcome = RunRepair(installed.path(), UnusedLoopbackAddress());
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.stage, REPAIR_STAGE_CONNECTING);
  EXPECT_EQ(outcome.error, BRAMRESULT_REFUSED);
  // The scan was saved before connecting.
  EXPECT_TRUE(std::filesystem::exists(installed.Sub("repair.cks")));
}

TEST(BramAgentClient, ServerStopsCleanlyOnSigterm) {
  ScopedTempDir reference;
  WriteFileAt(reference.Sub("a.txt"), "a");
  RepairServerProcess server(reference.path());
  ASSERT_TRUE(server.IsListening()) << server.Output();
  EXPECT_TRUE(server.Stop());
  EXPECT_EQ(server.ExitCode(), 0);
  EXPECT_TRUE(server.WaitForOutput(std::regex("stopped")));
}

TEST(BramAgentClient, ServerRepairsSeveralClientsAtOnce) {
  ScopedTempDir reference;
  const Tree build = ReferenceBuild();
  WriteTree(reference.path(), build);
  RepairServerProcess server(reference.path());
  ASSERT_TRUE(server.IsListening()) << server.Output();

  ScopedTempDir installed[3];
  BramAgentClient clients[3];
  for (int i = 0; i < 3; ++i) {
    Tree damaged = build;
    damaged["bin/Kestro.exe"][i * SEGMENT_SIZE + 5] ^= 1;
    damaged.erase("data/readme.txt");
    WriteTree(installed[i].path(), damaged);
    Configure(clients[i], installed[i].path(), server.Address());
  }
  for (BramAgentClient& client : clients) client.Start();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(WaitForClient(clients[i]));
    EXPECT_TRUE(clients[i].Succeeded()) << i;
    EXPECT_EQ(clients[i].GetTotalCount(), 2u) << i;
    Tree repaired = ReadTree(installed[i].path());
    repaired.erase("repair.cks");
    EXPECT_TRUE(repaired == build) << i;
  }
}

TEST(BramAgentClient, ServerServesTheReferenceAsItIsNow) {
  ScopedTempDir reference;
  ScopedTempDir installed;
  WriteTree(reference.path(), {{"a.txt", "first build"}});
  WriteTree(installed.path(), {{"a.txt", "first build"}});
  RepairServerProcess server(reference.path());
  ASSERT_TRUE(server.IsListening()) << server.Output();
  EXPECT_EQ(RunRepair(installed.path(), server.Address()).total, 0u);

  WriteTree(reference.path(), {{"a.txt", "second build"}, {"new.txt", "new"}});
  ShiftFileTime(reference.Sub("a.txt"), 10);  // even within the second of the first scan
  const RunOutcome outcome = RunRepair(installed.path(), server.Address());
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.total, 2u);
  EXPECT_EQ(ReadTextFile(installed.Sub("a.txt")), "second build");
  EXPECT_EQ(ReadTextFile(installed.Sub("new.txt")), "new");
}

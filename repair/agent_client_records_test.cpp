// The repair client against scripted servers: what each kind of record does
// to the installation, and what a hostile or failing server cannot do.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "kit/data_buffer_file.h"
#include "repair/agent_client.h"
#include "repair/repair_client_test_support.h"
#include "repair/repair_test_support.h"

using namespace RepairTest;

namespace {

// A server that answers the greeting, reads the summary, announces
// `announced` records, sends `records` and then either closes (`close`) or
// waits for the client to go.
ScriptedPeer::Script ServeRecords(std::uint32_t announced, std::string records,
                                  bool close = false) {
  return [announced, records, close](tcp::socket& socket) {
    FileTreeSummary summary;
    if (!AcceptClient(socket, &summary)) return;
    SendBytes(socket, Le32(announced) + records);
    if (!close) DrainUntilClosed(socket);
  };
}

// One run of the client against `script`; the client is gone on return.
RunOutcome RunScripted(const std::string& root, ScriptedPeer::Script script) {
  ScriptedPeer peer(std::move(script));
  BramAgentClient client;
  Configure(client, root, peer.Address());
  client.Start();
  EXPECT_TRUE(WaitForClient(client));
  return Outcome(client);
}

// Key -> checksum of what the checksum file holds.
std::map<std::string, std::uint32_t> SavedEntries(const std::string& root) {
  FileTreeSummary summary;
  BramDataBufferFile file(root + "/repair.cks", BRAMFILE_MODE_READ);
  if (file.IsOpen()) summary.LoadSummary(file);
  std::map<std::string, std::uint32_t> entries;
  for (const SummaryRecord& record : summary.GetEntries()) {
    entries[record.key] = record.entry.checksum;
  }
  return entries;
}

std::set<std::string> SavedKeys(const std::string& root) {
  std::set<std::string> keys;
  for (const auto& [key, checksum] : SavedEntries(root)) keys.insert(key);
  return keys;
}

std::uint64_t SizeOf(const std::string& path) { return std::filesystem::file_size(path); }

}  // namespace

TEST(BramAgentClientRecords, NoDataAtIndexZeroDeletesTheFile) {
  ScopedTempDir root;
  WriteTree(root.path(), {{"gone.txt", "x"}, {"keep.txt", "k"}});
  const RunOutcome outcome =
      RunScripted(root.path(), ServeRecords(1, NoDataRecord("gone.txt#000")));
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.received, 1u);
  EXPECT_FALSE(std::filesystem::exists(root.Sub("gone.txt")));
  EXPECT_EQ(SavedKeys(root.path()), (std::set<std::string>{"keep.txt#000"}));
}

TEST(BramAgentClientRecords, NoDataAtIndexTwoShortensTheFile) {
  ScopedTempDir root;
  WriteTree(root.path(), {{"f.bin", TextBytes(3 * SEGMENT_SIZE + 5, 1)}});
  const RunOutcome outcome = RunScripted(root.path(), ServeRecords(1, NoDataRecord("f.bin#002")));
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(SizeOf(root.Sub("f.bin")), 2ull * SEGMENT_SIZE);
  EXPECT_EQ(SavedKeys(root.path()), (std::set<std::string>{"f.bin#000", "f.bin#001"}));
}

TEST(BramAgentClientRecords, ShortLastSegmentCutsALongerFile) {
  ScopedTempDir root;
  const std::string original = TextBytes(5 << 20, 2);
  WriteTree(root.path(), {{"f.bin", original}});
  const std::string tail = RandomBytes(1000, 3);
  const RunOutcome outcome =
      RunScripted(root.path(), ServeRecords(1, DataRecord("f.bin#001", tail)));
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(ReadTextFile(root.Sub("f.bin")), original.substr(0, SEGMENT_SIZE) + tail);
  EXPECT_EQ(SavedEntries(root.path())["f.bin#001"], ChecksumSegmentBytes(tail.data(), tail.size()));
}

TEST(BramAgentClientRecords, SegmentPastTheEndExtendsWithZeros) {
  ScopedTempDir root;
  const std::string original = TextBytes(1 << 20, 4);
  WriteTree(root.path(), {{"f.bin", original}});
  const RunOutcome outcome =
      RunScripted(root.path(), ServeRecords(1, DataRecord("f.bin#003", "abc")));
  EXPECT_TRUE(outcome.succeeded);
  const std::string now = ReadTextFile(root.Sub("f.bin"));
  ASSERT_EQ(now.size(), 3ull * SEGMENT_SIZE + 3);
  EXPECT_EQ(now.substr(0, original.size()), original);
  EXPECT_EQ(now.find_first_not_of('\0', original.size()), 3ull * SEGMENT_SIZE);
  EXPECT_EQ(now.substr(3 * SEGMENT_SIZE), "abc");
}

TEST(BramAgentClientRecords, CompressedRecordCreatesTheFileAndItsFolders) {
  ScopedTempDir root;
  WriteTree(root.path(), {{"a.txt", "a"}});
  const std::string data = TextBytes(SEGMENT_SIZE, 5);
  const std::string record =
      RecordBytes(true, "new\\dir\\c.txt#000", ChecksumSegmentBytes(data.data(), data.size()),
                  Compressed(data));
  const RunOutcome outcome = RunScripted(root.path(), ServeRecords(1, record));
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_TRUE(ReadTextFile(root.Sub("new/dir/c.txt")) == data);
}

TEST(BramAgentClientRecords, ExcludedFilesAndLinksAreNeverWrittenThrough) {
  ScopedTempDir root;
  WriteTree(root.path(), {{"unins000.exe", "mine"}, {"real.txt", "real"}});
  std::filesystem::create_symlink(root.Sub("real.txt"), root.Sub("alias.txt"));
  WriteFileAt(root.Sub("sub/unins000.exe"), "a folder's file");
  // Only the root's uninstaller is excluded; a key may use '/' as well.
  const RunOutcome outcome =
      RunScripted(root.path(), ServeRecords(3, DataRecord("unins000.exe#000", "theirs") +
                                                   DataRecord("alias.txt#000", "new") +
                                                   DataRecord("sub/unins000.exe#000", "repaired")));
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.received, 3u);
  EXPECT_EQ(ReadTextFile(root.Sub("sub/unins000.exe")), "repaired");
  EXPECT_EQ(SavedKeys(root.path()).count("sub\\unins000.exe#000"), 1u);
  EXPECT_EQ(ReadTextFile(root.Sub("unins000.exe")), "mine");
  EXPECT_EQ(ReadTextFile(root.Sub("real.txt")), "real");
  EXPECT_FALSE(std::filesystem::is_symlink(root.Sub("alias.txt")));
  EXPECT_EQ(ReadTextFile(root.Sub("alias.txt")), "new");
}

TEST(BramAgentClientRecords, HostileOrBrokenRecordsFailTheRunAndWriteNothing) {
  const std::string hello = "hello";
  const std::uint32_t hello_checksum = ChecksumSegmentBytes(hello.data(), hello.size());
  const std::string bomb = Compressed(std::string(2 * SEGMENT_SIZE, '\0'));
  const std::string half = DataRecord("a.txt#000", RandomBytes(1000, 6)).substr(0, 500);
  struct Case {
    const char* name;
    std::string bytes;  // what the server sends after announcing one record
    bool close;         // the server closes the connection after sending
  };
  const Case cases[] = {
      {"traversal", DataRecord("..\\evil.txt#000", hello), false},
      {"deeper traversal", DataRecord("sub\\..\\..\\evil.txt#000", hello), false},
      {"absolute", DataRecord("/tmp/evil.txt#000", hello), false},
      {"drive", DataRecord("C:\\evil.txt#000", hello), false},
      {"link out of the root", DataRecord("out\\evil.txt#000", hello), false},
      {"empty key", std::string(1, '\0') + Le32(0), false},
      {"huge key", std::string(1, '\0') + Le32(0xFFFFFFFFu), false},
      {"index too large", DataRecord("a.txt#70000", hello), false},
      {"index not canonical", DataRecord("a.txt#1", hello), false},
      {"plain data too long", RecordHeader(false, "a.txt#000", 7, SEGMENT_SIZE + 1), false},
      {"compressed data too long", RecordHeader(true, "a.txt#000", 7, 0x7FFFFFFF), false},
      {"checksum mismatch", RecordBytes(false, "a.txt#000", hello_checksum + 1, hello), false},
      {"data without checksum", RecordBytes(false, "a.txt#000", 0, hello), false},
      {"compressed without data", RecordBytes(true, "a.txt#000", 5, ""), false},
      {"not decompressible", RecordBytes(true, "a.txt#000", hello_checksum, "garbage!"), false},
      {"inflates past a segment", RecordBytes(true, "a.txt#000", 1, bomb), false},
      {"dropped mid-record", half, true},
  };
  for (const Case& c : cases) {
    ScopedTempDir root;
    ScopedTempDir outside;
    WriteTree(root.path(), {{"a.txt", "original"}});
    std::filesystem::create_directory_symlink(outside.path(), root.Sub("out"));
    const Tree before = ReadTree(root.path());
    const RunOutcome outcome = RunScripted(root.path(), ServeRecords(1, c.bytes, c.close));
    EXPECT_FALSE(outcome.succeeded) << c.name;
    EXPECT_EQ(outcome.stage, REPAIR_STAGE_RECEIVING) << c.name;
    EXPECT_EQ(outcome.error, BRAMRESULT_TRANSFER_FAILED) << c.name;
    Tree after = ReadTree(root.path());
    after.erase("repair.cks");
    EXPECT_TRUE(after == before) << c.name;
    EXPECT_TRUE(std::filesystem::is_empty(outside.path())) << c.name;
    EXPECT_FALSE(std::filesystem::exists(root.Sub("../evil.txt"))) << c.name;
  }
  EXPECT_FALSE(std::filesystem::exists("/tmp/evil.txt"));
}

TEST(BramAgentClientRecords, WriteFailureOfTheLastSegmentFailsTheRun) {
  ScopedTempDir root;
  WriteTree(root.path(), {{"a.txt", "a"}});
  std::filesystem::create_directory(root.Sub("folder"));  // a file cannot be written there
  const RunOutcome outcome = RunScripted(
      root.path(),
      ServeRecords(2, DataRecord("a.txt#000", "new a") + DataRecord("folder#000", "x")));
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.stage, REPAIR_STAGE_RECEIVING);
  EXPECT_EQ(outcome.error, BRAMRESULT_TRANSFER_FAILED);
  EXPECT_EQ(ReadTextFile(root.Sub("a.txt")), "new a");  // the segment before it stays written
}

TEST(BramAgentClientRecords, GreetingOtherThanSixFailsInStage3) {
  ScopedTempDir root;
  WriteTree(root.path(), {{"a.txt", "a"}});
  const RunOutcome outcome = RunScripted(root.path(), [](tcp::socket& socket) {
    AcceptClient(socket, nullptr, 5);
    DrainUntilClosed(socket);
  });
  EXPECT_EQ(outcome.stage, REPAIR_STAGE_CONNECTING);
  EXPECT_EQ(outcome.error, BRAMRESULT_BAD_FORMAT);
}

TEST(BramAgentClientRecords, ServerLeavingBeforeTheCountFailsInStage4) {
  ScopedTempDir root;
  WriteTree(root.path(), {{"a.txt", "a"}});
  const RunOutcome outcome = RunScripted(root.path(), [](tcp::socket& socket) {
    FileTreeSummary summary;
    AcceptClient(socket, &summary);
  });
  EXPECT_EQ(outcome.stage, REPAIR_STAGE_LISTING);
  EXPECT_EQ(outcome.error, BRAMRESULT_ABORTED);
}

TEST(BramAgentClient, SettersCheckTheirArguments) {
  BramAgentClient client;
  for (const std::string bad : {"", "/tmp", "\"/tmp/x\"", "/tmp/\xC3\xA9"}) {
    EXPECT_EQ(client.SetRootDirectory(bad), BRAMRESULT_BAD_ADDRESS) << bad;
  }
  EXPECT_EQ(client.SetChecksumFile(""), BRAMRESULT_BAD_ADDRESS);
  ScopedTempDir root;
  EXPECT_EQ(client.SetRootDirectory(root.path()), BRAMRESULT_OK);
  client.Start();  // no checksum file
  ASSERT_TRUE(WaitForClient(client));
  EXPECT_EQ(client.GetStage(), REPAIR_STAGE_STARTED);
  EXPECT_EQ(client.GetError(), BRAMRESULT_BAD_ADDRESS);
  EXPECT_FALSE(client.Succeeded());
  EXPECT_EQ(client.SetChecksumFile(root.Sub("repair.cks")), BRAMRESULT_OK);
  EXPECT_EQ(client.GetStage(), REPAIR_STAGE_CONFIGURED);
  EXPECT_EQ(client.GetError(), BRAMRESULT_OK);
}

TEST(BramAgentClient, CancelDuringReceiveKeepsWhatArrived) {
  ScopedTempDir root;
  WriteTree(root.path(), {{"a.txt", "old a"}});
  ScriptedPeer peer(
      ServeRecords(10, DataRecord("a.txt#000", "new a") + DataRecord("b.txt#000", "new b")));
  {
    BramAgentClient client;
    Configure(client, root.path(), peer.Address());
    client.Start();
    for (int i = 0; i < 6000 && client.GetReceivedCount() < 2; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(client.GetReceivedCount(), 2u);
    EXPECT_TRUE(client.IsRunning());
    EXPECT_EQ(client.GetStage(), REPAIR_STAGE_RECEIVING);
    EXPECT_FLOAT_EQ(client.GetRepairProgress(), 0.2f);
    EXPECT_EQ(client.SetRootDirectory(root.path()), BRAMRESULT_NOT_OPEN);
    EXPECT_EQ(client.SetExclusions({}), BRAMRESULT_NOT_OPEN);
  }  // the destructor cancels the blocked read and waits for the worker
  EXPECT_EQ(ReadTextFile(root.Sub("a.txt")), "new a");
  EXPECT_EQ(ReadTextFile(root.Sub("b.txt")), "new b");
  EXPECT_EQ(SavedKeys(root.path()), (std::set<std::string>{"a.txt#000", "b.txt#000"}));
}

TEST(BramAgentClient, SummaryIsSavedWhileSegmentsArrive) {
  ScopedTempDir root;
  WriteTree(root.path(), {{"a.txt", "a"}});
  std::string records;
  for (int i = 0; i < 40; ++i) records += DataRecord("n" + std::to_string(100 + i) + "#000", "x");
  ScriptedPeer peer(ServeRecords(50, records));
  BramAgentClient client;
  Configure(client, root.path(), peer.Address());
  client.Start();
  for (int i = 0; i < 6000 && client.GetReceivedCount() < 40; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(client.GetReceivedCount(), 40u);
  // The save after the 33rd segment holds the segments written by then;
  // the client still waits for the 41st.
  const std::size_t saved = SavedKeys(root.path()).size() - 1;
  EXPECT_GE(saved, 29u);
  EXPECT_LT(saved, 40u);
  EXPECT_TRUE(client.IsRunning());
}

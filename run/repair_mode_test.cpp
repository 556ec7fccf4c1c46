// The repair run against the real repair server and scripted peers on
// 127.0.0.1, with the server named in a registry file.
#include "run/repair_mode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "engine/patch_options.h"
#include "foundation/paths.h"
#include "foundation/registry.h"
#include "kit/data_buffer_file.h"
#include "repair/repair_client_test_support.h"
#include "repair/repair_test_support.h"
#include "run/run_test_support.h"

namespace BramPatch {
namespace {

using namespace RepairTest;
using Texts = std::vector<std::pair<int, std::string>>;

const char* const SCANNING = "Scanning installed files. This may take a while.";
const char* const CONNECTING = "Connecting to patch servers.";
const char* const PREPARING = "Preparing download list.";
const char* const RECEIVING = "Receiving updated files.";

// A view whose cancel request another thread may set.
class CancellableView : public RecordingView {
 public:
  bool IsCancelRequested() const override { return m_cancel.load(); }
  void Cancel() { m_cancel.store(true); }

 private:
  std::atomic<bool> m_cancel{false};
};

// An installation in a temporary directory, a registry file naming the
// repair server (and carrying the "IsPatching" mark), and a view.
class RepairModeTest : public testing::Test {
 protected:
  void SetUp() override {
    m_options.SetInstallPath(m_dir.Sub("install"));
    WriteTree(Install(), Tree{{"data.bin", TextBytes(3000, 1)}, {"bin/tool.exe", "tool"}});
  }

  std::string Install() const { return m_dir.Sub("install"); }

  // "" writes no RepairServer value.
  void WriteRegistry(const std::string& repairServer) {
    std::ofstream file(m_registry);
    file << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Omvel]\n";
    if (!repairServer.empty()) file << "\"RepairServer\"=\"" << repairServer << "\"\n";
    file << "\n[HKEY_LOCAL_MACHINE\\Software\\Omvel\\Products\\KestroSimulator]\n"
         << "\"IsPatching\"=dword:00000001\n";
  }
  void NameServer(const BramSocketAddress& address) {
    WriteRegistry("127.0.0.1:" + std::to_string(address.m_port));
  }

  bool IsPatchingMarked() const {
    RegistryKey key;
    std::uint32_t value = 0;
    return RegistryKey::LocalMachine(m_registry)
                   .OpenKey("Software\\Omvel\\Products\\KestroSimulator", REGISTRY_ACCESS_READ,
                            &key) == REGISTRY_OK &&
           key.QueryDwordValue("IsPatching", &value) == REGISTRY_OK && value == 1;
  }

  ScopedTempDir m_dir;
  std::string m_registry = m_dir.Sub("registry.reg");
  ScopedEnvironment m_registryVariable{"OMVEL_REGISTRY", m_registry};
  PatchOptions m_options;
  CancellableView m_view;
};

TEST_F(RepairModeTest, InstallationThatAlreadyMatches) {
  ScopedTempDir reference;
  WriteTree(reference.path(), ReadTree(Install()));
  RepairServerProcess server(reference.path());
  ASSERT_TRUE(server.IsListening()) << "omvel-repair-server must be built: " << server.Output();
  NameServer(server.Address());

  EXPECT_TRUE(RunRepairMode(m_options));
  EXPECT_EQ(m_view.texts, (Texts{{0, SCANNING},
                                 {0, CONNECTING},
                                 {0, PREPARING},
                                 {0, RECEIVING},
                                 {0, "(0 / 0 segments updated.)"}}));
  EXPECT_EQ(m_view.gaugeRange, 1000);
  EXPECT_EQ(m_view.gaugeValue, 1000);
  EXPECT_EQ(m_view.downloadDisplayFinished, true);
  EXPECT_FALSE(IsPatchingMarked());
  EXPECT_TRUE(FileExists(m_dir.Sub("install/repair.cks")));
}

// How a failing run ends: what it posts, and that it leaves the mark of an
// interrupted patch alone.
TEST_F(RepairModeTest, FailuresAreReportedByStage) {
  // A record whose data is no compressed stream.
  const std::string badCompressed =
      RecordHeader(true, "data.bin#000", 0x1234, 16) + "garbage-garbage!";
  struct Case {
    const char* name;
    // The peer's script; none: nothing listens on the named port.
    ScriptedPeer::Script peer;
    std::string setting;  // RepairServer; "" names the peer (or the free port)
    std::string installPath;
    Texts texts;
  };
  const std::vector<Case> cases = {
      {"refused",
       nullptr,
       "",
       Install(),
       {{0, SCANNING},
        {0, CONNECTING},
        {2, "Unable to connect to patch servers."},
        {0, "(Error 12 in stage 3)"}}},
      {"greeting 5",
       [](tcp::socket& socket) { AcceptClient(socket, nullptr, 5); },
       "",
       Install(),
       {{0, SCANNING},
        {0, CONNECTING},
        {2, "Unable to connect to patch servers."},
        {0, "(Error 10 in stage 3)"}}},
      {"closed before the count",
       [](tcp::socket& socket) {
         FileTreeSummary summary;
         AcceptClient(socket, &summary);
       },
       "",
       Install(),
       {{0, SCANNING},
        {0, CONNECTING},
        {0, PREPARING},
        {2, "Unable to connect to patch servers."},
        {0, "(Error 13 in stage 4)"}}},
      {"record that does not decompress",
       [&badCompressed](tcp::socket& socket) {
         FileTreeSummary summary;
         if (!AcceptClient(socket, &summary)) return;
         SendBytes(socket, Le32(1) + badCompressed);
         ReceiveBytes(socket, 1);  // until the client closes
       },
       "",
       Install(),
       {{0, SCANNING},
        {0, CONNECTING},
        {0, PREPARING},
        {0, RECEIVING},
        {0, "(1 / 1 segments updated.)"},
        {2, "Error occurred while repairing files."},
        {0, "(Error 3 in stage 5)"}}},
      {"root the client refuses",
       nullptr,
       "",
       "/a",
       {{2, "Internal error occurred."}, {0, "(Error 5 in stage 1)"}}},
      // A label longer than 63 characters cannot be put into a query, so the
      // resolver fails without asking the network.
      {"name without address",
       nullptr,
       std::string(70, 'x') + ".invalid:6000",
       Install(),
       {{2, "Unable to contact repair server; check your network connection."}}},
      {"malformed setting",
       nullptr,
       "127.0.0.1:99999",
       Install(),
       {{2,
         "The repair server setting \"127.0.0.1:99999\" is neither a host name nor "
         "host:port."}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<ScriptedPeer> peer;
    if (c.peer) peer = std::make_unique<ScriptedPeer>(c.peer);
    if (!c.setting.empty()) {
      WriteRegistry(c.setting);
    } else {
      NameServer(peer ? peer->Address() : UnusedLoopbackAddress());
    }
    const std::string data = ReadTextFile(m_dir.Sub("install/data.bin"));
    m_view.texts.clear();
    m_options.SetInstallPath(c.installPath);

    EXPECT_FALSE(RunRepairMode(m_options));
    EXPECT_EQ(m_view.texts, c.texts);
    EXPECT_TRUE(IsPatchingMarked());
    EXPECT_EQ(ReadTextFile(m_dir.Sub("install/data.bin")), data);
  }
}

// A cancel while segments arrive: nothing more is said, the segments already
// received are written and saved, and the run returns only once the client
// has stopped.
TEST_F(RepairModeTest, CancelWhileReceiving) {
  const Tree sent = {{"f1.txt", "first"}, {"f2.txt", "second"}, {"f3.txt", "third"}};
  ScriptedPeer peer([&](tcp::socket& socket) {
    FileTreeSummary summary;
    if (AcceptClient(socket, &summary)) {
      // Five announced, three sent; the fourth never comes.
      std::string records = Le32(5);
      for (const auto& [name, contents] : sent) records += DataRecord(name + "#000", contents);
      SendBytes(socket, records);
      // Cancel once the first segment is on disk (the client writes each one
      // two segments after it arrived, so all three have arrived by then).
      for (int i = 0; i < 6000 && ReadTextFile(m_dir.Sub("install/f1.txt")) != "first"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      m_view.Cancel();
      ReceiveBytes(socket, 1);  // until the client closes
    }
  });
  NameServer(peer.Address());

  EXPECT_FALSE(RunRepairMode(m_options));
  EXPECT_EQ(m_view.texts, (Texts{{0, SCANNING},
                                 {0, CONNECTING},
                                 {0, PREPARING},
                                 {0, RECEIVING},
                                 {0, "(3 / 5 segments updated.)"}}));
  EXPECT_TRUE(IsPatchingMarked());
  // The second and third segment are written while the client stops, before
  // the run returns.
  FileTreeSummary saved;
  BramDataBufferFile file(m_dir.Sub("install/repair.cks"), BRAMFILE_MODE_READ);
  ASSERT_EQ(saved.LoadSummary(file), BRAMRESULT_OK);
  for (const auto& [name, contents] : sent) {
    EXPECT_EQ(ReadTextFile(m_dir.Sub("install/" + name)), contents) << name;
    EXPECT_EQ(ChecksumOf(saved, name + "#000"),
              ChecksumSegmentBytes(contents.data(), contents.size()))
        << name;
  }
}

}  // namespace
}  // namespace BramPatch

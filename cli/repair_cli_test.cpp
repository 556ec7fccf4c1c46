// omvel-patcher-cli -r, run as a user runs it, against the real repair server
// and scripted peers on 127.0.0.1 named by the RepairServer registry value.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "foundation/paths.h"
#include "foundation/paths_test_support.h"
#include "foundation/registry.h"
#include "repair/repair_client_test_support.h"
#include "repair/repair_test_support.h"

namespace {

using namespace RepairTest;

const std::string CLI = std::string(OMVEL_BIN_DIR) + "/omvel-patcher-cli";

// A temporary directory with an installation, TEMP and a registry file that
// names the repair server and carries the "IsPatching" mark of an
// interrupted patch.
class RepairCliTest : public testing::Test {
 protected:
  std::string Install() const { return m_dir.Sub("install"); }

  void NameServer(const BramSocketAddress& address) {
    std::ofstream(m_registry)
        << "Windows Registry Editor Version 5.00\n\n"
        << "[HKEY_LOCAL_MACHINE\\Software\\Omvel]\n"
        << "\"RepairServer\"=\"127.0.0.1:" << address.m_port << "\"\n\n"
        << "[HKEY_LOCAL_MACHINE\\Software\\Omvel\\Products\\KestroSimulator]\n"
        << "\"IsPatching\"=dword:00000001\n";
  }

  bool IsPatchingMarked() const {
    RegistryKey key;
    std::uint32_t value = 0;
    return RegistryKey::LocalMachine(m_registry)
                   .OpenKey("Software\\Omvel\\Products\\KestroSimulator", REGISTRY_ACCESS_READ,
                            &key) == REGISTRY_OK &&
           key.QueryDwordValue("IsPatching", &value) == REGISTRY_OK && value == 1;
  }

  // Runs `omvel-patcher-cli -r <install>`; *output gets standard output and
  // error together. Returns the exit status.
  int RunRepair(std::string* output) {
    const std::string command = "OMVEL_REGISTRY=" + m_registry + " TEMP=" + m_dir.Sub("temp") +
                                " " + CLI + " -r " + Install() + " </dev/null 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    output->clear();
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      output->append(buffer, n);
    }
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  ScopedTempDir m_dir;
  std::string m_registry = m_dir.Sub("registry.reg");
};

// True when `output` holds each of `lines` as a whole line, in this order
// (the client's own diagnostic lines may come between them).
testing::AssertionResult HasLinesInOrder(const std::string& output,
                                         const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const std::string& line : lines) {
    std::size_t found = at;
    while ((found = output.find(line + "\n", found)) != std::string::npos && found != 0 &&
           output[found - 1] != '\n') {
      ++found;
    }
    if (found == std::string::npos) {
      return testing::AssertionFailure() << "no line \"" << line << "\" in order in:\n" << output;
    }
    at = found + line.size() + 1;
  }
  return testing::AssertionSuccess();
}

// The names of the files that are in only one of the trees or differ.
std::vector<std::string> DifferingFiles(const Tree& a, const Tree& b) {
  std::vector<std::string> names;
  for (const auto& [name, contents] : a) {
    if (!b.contains(name) || b.at(name) != contents) names.push_back(name);
  }
  for (const auto& [name, contents] : b) {
    if (!a.contains(name)) names.push_back(name);
  }
  return names;
}

Tree Without(Tree tree, const std::vector<std::string>& names) {
  for (const std::string& name : names) tree.erase(name);
  return tree;
}

TEST_F(RepairCliTest, RepairsTheInstallationThenFindsItMatching) {
  ScopedTempDir reference;
  const Tree build = {
      {"bin/Kestro.exe", RandomBytes(2 * SEGMENT_SIZE + 4321, 1)},
      {"bin/x.dll", TextBytes(SEGMENT_SIZE + 10, 2)},  // compresses
      {"data/readme.txt", "read me\n"},
      {"data/assets/b.pak", TextBytes(5000, 3)},
      {"unins000.exe", "the reference's uninstaller"},
  };
  WriteTree(reference.path(), build);
  Tree installed = build;
  installed["bin/Kestro.exe"][SEGMENT_SIZE + 17] ^= 0x55;  // damaged
  installed["bin/x.dll"].resize(100);                      // truncated
  installed["data/readme.txt"] += "and more";              // extended
  installed.erase("data/assets/b.pak");                    // missing
  installed["data/old.pak"] = "left over";                 // extra
  installed["stale/dir/file.txt"] = "left over too";       // extra, nested
  installed["unins000.exe"] = "the installed uninstaller";
  WriteTree(Install(), installed);
  RepairServerProcess server(reference.path());
  ASSERT_TRUE(server.IsListening()) << "omvel-repair-server must be built: " << server.Output();
  NameServer(server.Address());

  std::string output;
  EXPECT_EQ(RunRepair(&output), 0) << output;
  std::smatch count;
  ASSERT_TRUE(std::regex_search(output, count, std::regex("\\((\\d+) / (\\d+) segments updated")))
      << output;
  EXPECT_EQ(count[1].str(), count[2].str());
  EXPECT_NE(count[1].str(), "0");
  EXPECT_TRUE(HasLinesInOrder(
      output, {"Scanning installed files. This may take a while.", "Connecting to patch servers.",
               "Preparing download list.", "Receiving updated files.",
               "(" + count[1].str() + " / " + count[2].str() + " segments updated.)",
               "Patching completed."}));
  EXPECT_EQ(DifferingFiles(Without(ReadTree(Install()), {"repair.cks", "unins000.exe"}),
                           Without(build, {"unins000.exe"})),
            std::vector<std::string>{});
  EXPECT_EQ(ReadTextFile(Install() + "/unins000.exe"), "the installed uninstaller");
  EXPECT_FALSE(IsPatchingMarked());

  EXPECT_EQ(RunRepair(&output), 0) << output;
  EXPECT_TRUE(HasLinesInOrder(
      output, {"Receiving updated files.", "(0 / 0 segments updated.)", "Patching completed."}));
}

TEST_F(RepairCliTest, RefusedConnectionAbortsTheRun) {
  WriteTree(Install(), Tree{{"data/readme.txt", "read me\n"}});
  NameServer(UnusedLoopbackAddress());

  std::string output;
  EXPECT_EQ(RunRepair(&output), 1);
  EXPECT_TRUE(HasLinesInOrder(
      output,
      {"Scanning installed files. This may take a while.", "Connecting to patch servers.",
       "Unable to connect to patch servers.", "(Error 12 in stage 3)", "Patching aborted."}));
  EXPECT_EQ(output.find("Preparing download list."), std::string::npos) << output;
  EXPECT_TRUE(IsPatchingMarked());
}

// A server that sends what no reference could: the run fails in the receive
// stage and writes nothing of it, inside the installation or outside.
TEST_F(RepairCliTest, HostileServerWritesNothing) {
  struct Case {
    const char* name;
    std::string records;  // after the count of 2
  };
  std::string absolute = m_dir.Sub("outside.txt#000");
  NormalizeSeparators(absolute, '\\');
  const std::vector<Case> cases = {
      {"key leaving the installation", DataRecord("..\\outside.txt#000", "evil")},
      {"absolute key", DataRecord(absolute, "evil")},
      {"oversize data length", RecordHeader(false, "data\\readme.txt#000", 1, 0xFFFFFFF0u)},
      {"drop in the middle of a record",
       RecordHeader(false, "data\\readme.txt#000", 1, 100) + "only ten b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteTree(Install(), Tree{{"data/readme.txt", "read me\n"}});
    ScriptedPeer peer([&c](tcp::socket& socket) {
      FileTreeSummary summary;
      if (!AcceptClient(socket, &summary)) return;
      SendBytes(socket, Le32(2) + c.records);
    });
    NameServer(peer.Address());

    std::string output;
    EXPECT_EQ(RunRepair(&output), 1);
    EXPECT_TRUE(HasLinesInOrder(
        output, {"Receiving updated files.", "Error occurred while repairing files.",
                 "(Error 3 in stage 5)", "Patching aborted."}));
    EXPECT_EQ(Without(ReadTree(m_dir.path()),
                      {"registry.reg", "registry.reg.lock", "install/repair.cks"}),
              (Tree{{"install/data/readme.txt", "read me\n"}}));
  }
}

}  // namespace

// Runs the real omvel-patchkit program and checks its exit codes and output.
#include <filesystem>

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"
#include "engine/le_fields.h"
#include "foundation/child_process.h"
#include "foundation/utf.h"
#include "kit/compressed_stream.h"
#include "kit/data_buffer_memory_dynamic.h"
#include "kit/data_buffer_memory_static.h"

namespace BramPatch {
namespace {

const std::string PATCHKIT = std::string(OMVEL_BIN_DIR) + "/omvel-patchkit";

// Quotes one argument by the Windows rules the child-process layer splits
// command lines with.
std::string Quote(const std::string& arg) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

struct ToolRun {
  int m_exit = -1;
  std::string m_output;  // standard output and standard error together
};

ToolRun Patchkit(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& arg : args) line += (line.empty() ? "" : " ") + Quote(arg);
  ToolRun run;
  ChildProcess* child = StartChildProcess(PATCHKIT, line);
  EXPECT_NE(child, nullptr) << PATCHKIT;
  if (child == nullptr) return run;
  while (ReadChildOutput(child, run.m_output)) {
  }
  EXPECT_TRUE(WaitChild(child, CHILD_WAIT_INFINITE));
  run.m_exit = ChildExitCode(child);
  CloseChild(child);
  delete child;
  return run;
}

class PatchkitTest : public ::testing::Test {
 protected:
  std::string Sub(const std::string& relative) const { return m_work.Sub(relative); }
  ScopedTempDir m_work;
};

TEST_F(PatchkitTest, PackListUnpack) {
  WriteTree(Sub("tree"), {{"a.txt", "hello"},
                          {"data", TREE_DIRECTORY},
                          {"data/bin", TREE_DIRECTORY},
                          {"data/bin/x.dll", std::string(1000, 'x')},
                          {"data/empty.txt", ""}});
  ToolRun pack = Patchkit({"pack", Sub("tree"), Sub("p.zip")});
  EXPECT_EQ(pack.m_exit, 0);
  EXPECT_EQ(pack.m_output, "packed 2 folders, 3 files, 1005 bytes into " + Sub("p.zip") + "\n");

  ToolRun list = Patchkit({"list", Sub("p.zip")});
  EXPECT_EQ(list.m_exit, 0);
  EXPECT_EQ(list.m_output,
            "           5  .\\a.txt\n"
            "      folder  .\\data\n"
            "      folder  .\\data\\bin\n"
            "        1000  .\\data\\bin\\x.dll\n"
            "           0  .\\data\\empty.txt\n"
            "2 folders, 3 files, 1005 bytes\n");

  ToolRun unpack = Patchkit({"unpack", Sub("p.zip"), Sub("out/new")});
  EXPECT_EQ(unpack.m_exit, 0);
  EXPECT_EQ(unpack.m_output,
            "unpacked 2 folders, 3 files, 1005 bytes into " + Sub("out/new") + "\n");
  EXPECT_EQ(ReadTree(Sub("out/new")), ReadTree(Sub("tree")));
}

// A tree of a few thousand files, empty ones included, round-trips byte for
// byte through the program.
TEST_F(PatchkitTest, ThousandsOfFilesRoundTrip) {
  Tree tree;
  for (int d = 0; d < 30; ++d) {
    std::string dir = "data/d" + std::to_string(d);
    tree["data"] = TREE_DIRECTORY;
    tree[dir] = TREE_DIRECTORY;
    for (int f = 0; f < 100; ++f) {
      int n = d * 100 + f;
      std::string contents = n % 7 == 0   ? ""
                             : n % 3 == 0 ? RandomBytes(n % 5000, n)
                                          : TextBytes(n * 13 % 9000, n);
      tree[dir + "/f" + std::to_string(f) + (n % 2 ? ".bin" : ".txt")] = contents;
    }
  }
  WriteTree(Sub("tree"), tree);
  ASSERT_EQ(Patchkit({"pack", Sub("tree"), Sub("big.zip")}).m_exit, 0);
  ToolRun unpack = Patchkit({"unpack", Sub("big.zip"), Sub("out")});
  ASSERT_EQ(unpack.m_exit, 0) << unpack.m_output;
  EXPECT_EQ(unpack.m_output.rfind("unpacked 31 folders, 3000 files, ", 0), 0u) << unpack.m_output;
  EXPECT_TRUE(ReadTree(Sub("out")) == tree);
}

TEST_F(PatchkitTest, BadInputGivesOneLineAndExitCode) {
  WriteTree(Sub("noext"), {{"data", TREE_DIRECTORY}, {"data/LICENSE", "x"}});
  WriteTextFile(Sub("notarchive.zip"), "PK\x03\x04 not ours");
  std::string unsafe;
  {
    BramDataBufferMemoryDynamic stream;
    std::string name;
    AppendLe(&name, 8, 4);
    name += Utf16ToLeBytes(u"..\\x.txt");
    auto source = BramDataBufferMemoryStatic::CopyOf(name);
    BramUtil::CompressData(stream, *source);
    AppendLe(&unsafe, 1, 4);
    unsafe.append(reinterpret_cast<const char*>(stream.GetData()), stream.GetSize());
    WriteTextFile(Sub("unsafe.zip"), unsafe);
  }
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string output;
  };
  const Case cases[] = {
      {{"pack", Sub("noext"), Sub("n.zip")},
       1,
       "omvel-patchkit: cannot pack " + Sub("noext") +
           "/data/LICENSE: a file without an extension in its name would be read as a folder\n"},
      {{"pack", Sub("missing"), Sub("n.zip")},
       1,
       "omvel-patchkit: cannot pack " + Sub("missing") + ": not a folder\n"},
      {{"list", Sub("notarchive.zip")},
       1,
       "omvel-patchkit: " + Sub("notarchive.zip") +
           ": unknown archive version 67324752 (expected 1)\n"},
      {{"unpack", Sub("unsafe.zip"), Sub("u")},
       1,
       "omvel-patchkit: unsafe path \"..\\x.txt\" in " + Sub("unsafe.zip") + "\n"},
      {{"md5", Sub("missing.txt")}, 1, "omvel-patchkit: cannot read " + Sub("missing.txt") + "\n"},
      {{}, 2, "omvel-patchkit: A subcommand is required (see omvel-patchkit --help)\n"},
      {{"pack", Sub("noext")},
       2,
       "omvel-patchkit: ARCHIVE is required (see omvel-patchkit --help)\n"},
      {{"frobnicate"},
       2,
       "omvel-patchkit: unknown command \"frobnicate\" (see omvel-patchkit --help)\n"},
      {{"package", "frob", "x"},
       2,
       "omvel-patchkit: unknown command \"frob\" (see omvel-patchkit --help)\n"},
  };
  for (const Case& c : cases) {
    ToolRun run = Patchkit(c.args);
    EXPECT_EQ(run.m_exit, c.exit) << run.m_output;
    EXPECT_EQ(run.m_output, c.output);
  }
  EXPECT_FALSE(std::filesystem::exists(Sub("n.zip")));
  EXPECT_FALSE(std::filesystem::exists(Sub("x.txt")));
}

TEST_F(PatchkitTest, HelpForEachCommand) {
  const std::vector<std::vector<std::string>> commands = {{},
                                                          {"pack"},
                                                          {"unpack"},
                                                          {"list"},
                                                          {"md5"},
                                                          {"package"},
                                                          {"package", "create"},
                                                          {"package", "list"},
                                                          {"package", "extract"}};
  for (std::vector<std::string> args : commands) {
    std::string usage = "Usage: omvel-patchkit";
    for (const std::string& a : args) usage += " " + a;
    args.push_back("--help");
    ToolRun run = Patchkit(args);
    EXPECT_EQ(run.m_exit, 0) << usage;
    EXPECT_NE(run.m_output.find(usage + " [OPTIONS]"), std::string::npos) << run.m_output;
  }
}

TEST_F(PatchkitTest, Md5MatchesKnownDigests) {
  WriteTextFile(Sub("empty.txt"), "");
  WriteTextFile(Sub("abc.txt"), "abc");
  ToolRun run = Patchkit({"md5", Sub("empty.txt"), Sub("abc.txt")});
  EXPECT_EQ(run.m_exit, 0);
  EXPECT_EQ(run.m_output, "d41d8cd98f00b204e9800998ecf8427e  " + Sub("empty.txt") + "\n" +
                              "900150983cd24fb0d6963f7d28e17f72  " + Sub("abc.txt") + "\n");
}

TEST_F(PatchkitTest, PackageCreateListExtract) {
  WriteTextFile(Sub("patcher"), RandomBytes(5000, 3));
  WriteTree(Sub("t1"), {{"a.txt", "one"}});
  WriteTree(Sub("t2"), {{"b.txt", "two"}});
  ASSERT_EQ(Patchkit({"pack", Sub("t1"), Sub("100.zip")}).m_exit, 0);
  ASSERT_EQ(Patchkit({"pack", Sub("t2"), Sub("101.zip")}).m_exit, 0);
  const std::uint64_t a = std::filesystem::file_size(Sub("100.zip"));
  const std::uint64_t b = std::filesystem::file_size(Sub("101.zip"));
  const std::uint64_t total = 8192 + 28 + a + b + 2 * 468;

  ToolRun create = Patchkit({"package", "create", Sub("patcher"), Sub("pkg"), "--record", "100",
                             "101", "bin\\Launcher.exe", "d41d8cd98f00b204e9800998ecf8427e",
                             Sub("100.zip"), "-r", "101", "102", "bin\\Launcher.exe",
                             "900150983cd24fb0d6963f7d28e17f72", Sub("101.zip")});
  EXPECT_EQ(create.m_exit, 0) << create.m_output;
  EXPECT_EQ(create.m_output, "wrote " + Sub("pkg") + ": 2 archives, package at offset 8192, " +
                                 std::to_string(total) + " bytes in all\n");

  ToolRun list = Patchkit({"package", "list", Sub("pkg")});
  EXPECT_EQ(list.m_exit, 0);
  EXPECT_EQ(
      list.m_output,
      "package at offset 8192, 2 records, " + std::to_string(total) + " bytes\n" +
          "100 -> 101  bin\\Launcher.exe  d41d8cd98f00b204e9800998ecf8427e  archive at 8220, " +
          std::to_string(a) + " bytes\n" +
          "101 -> 102  bin\\Launcher.exe  900150983cd24fb0d6963f7d28e17f72  archive at " +
          std::to_string(8220 + a) + ", " + std::to_string(b) + " bytes\n");

  ToolRun extract = Patchkit({"package", "extract", Sub("pkg"), "101", Sub("out.zip")});
  EXPECT_EQ(extract.m_exit, 0);
  EXPECT_EQ(extract.m_output, "extracted the archive for build 101 (" + std::to_string(b) +
                                  " bytes) to " + Sub("out.zip") + "\n");
  EXPECT_EQ(ReadTextFile(Sub("out.zip")), ReadTextFile(Sub("101.zip")));

  const ToolRun missing = Patchkit({"package", "extract", Sub("pkg"), "999", Sub("none.zip")});
  EXPECT_EQ(missing.m_exit, 1);
  EXPECT_EQ(missing.m_output,
            "omvel-patchkit: " + Sub("pkg") + " holds no archive for build 999\n");
  EXPECT_FALSE(std::filesystem::exists(Sub("none.zip")));

  const ToolRun plain = Patchkit({"package", "list", Sub("patcher")});
  EXPECT_EQ(plain.m_exit, 1);
  EXPECT_EQ(plain.m_output, "omvel-patchkit: " + Sub("patcher") + " holds no package\n");

  WriteTextFile(Sub("cut"), ReadTextFile(Sub("pkg")).substr(0, total - 1));
  const ToolRun cut = Patchkit({"package", "list", Sub("cut")});
  EXPECT_EQ(cut.m_exit, 1);
  EXPECT_EQ(cut.m_output, "omvel-patchkit: " + Sub("cut") + ": the package states " +
                              std::to_string(total) + " bytes but the file has " +
                              std::to_string(total - 1) + " (truncated or extended)\n");

  const ToolRun short_record =
      Patchkit({"package", "create", Sub("patcher"), Sub("pkg2"), "-r", "1"});
  EXPECT_EQ(short_record.m_exit, 2);
  EXPECT_FALSE(std::filesystem::exists(Sub("pkg2")));
}

}  // namespace
}  // namespace BramPatch

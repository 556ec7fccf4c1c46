// The product's utility, run as the real program from a copy inside a
// temporary installation's bin/ folder, as the patcher runs it.
#include "product/kestro_util.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"
#include "engine/windows_argument_quote.h"
#include "foundation/child_process.h"
#include "foundation/database_block_api.h"
#include "product/asset_index.h"

namespace BramPatch {
namespace {

namespace fs = std::filesystem;

constexpr const char* MD5_EMPTY = "d41d8cd98f00b204e9800998ecf8427e";
constexpr const char* MD5_HELLO = "5d41402abc4b2a76b9719d911017c592";

struct Environment {
  const char* m_name;
  const char* m_value;
};

struct UtilRun {
  int m_exit = -1;
  std::string m_output;
};

class KestroUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Root() + "/bin");
    fs::copy_file(fs::path(OMVEL_BIN_DIR) / KESTRO_UTIL_NAME, Utility());
  }

  std::string Root() const { return m_dir.Sub("Kestro Sim"); }
  std::string Utility() const { return Root() + "/bin/" + KESTRO_UTIL_NAME; }
  std::string Database() const { return Root() + "/" + ASSET_DATABASE_NAME; }

  // Starts the utility with `args` and, for this start only, the variables
  // of `environment` set.
  ChildProcess* Start(const std::vector<std::string>& args,
                      const std::vector<Environment>& environment = {}) {
    std::string line;
    for (const std::string& arg : args) line += " " + QuoteWindowsArgument(arg);
    for (const Environment& variable : environment) setenv(variable.m_name, variable.m_value, 1);
    ChildProcess* child = StartChildProcess(Utility(), line);
    for (const Environment& variable : environment) unsetenv(variable.m_name);
    EXPECT_NE(child, nullptr);
    return child;
  }

  static UtilRun Finish(ChildProcess* child, std::string output = "") {
    UtilRun run;
    if (child == nullptr) return run;
    while (ReadChildOutput(child, output)) {
    }
    EXPECT_TRUE(WaitChild(child, CHILD_WAIT_INFINITE));
    run.m_exit = ChildExitCode(child);
    run.m_output = output;
    delete child;
    return run;
  }

  UtilRun Run(const std::vector<std::string>& args,
              const std::vector<Environment>& environment = {}) {
    return Finish(Start(args, environment));
  }

  // Starts "holddb" and returns once it holds the database.
  ChildProcess* StartHolder() {
    ChildProcess* holder = Start({"holddb"});
    std::string output;
    while (output.find("holding\n") == std::string::npos && ReadChildOutput(holder, output)) {
    }
    EXPECT_EQ(output, "holding\n");
    return holder;
  }

  static void Kill(ChildProcess* holder) {
    KillChild(holder);
    WaitChild(holder, CHILD_WAIT_INFINITE);
    delete holder;
  }

  ScopedTempDir m_dir;
};

TEST_F(KestroUtilTest, ListBuildsWritesEachBuildFollowedByAComma) {
  struct Case {
    const char* builds;  // nullptr: no builds file
    int exit;
    const char* list;  // nullptr: no list file written
  };
  const Case cases[] = {
      {"100\n101\n", 0, "100,101,"},
      {"102", 0, "102,"},
      {"\r\n  103 \r\n\n104\t\r\n", 0, "103,104,"},
      {"", KESTRO_UTIL_EXIT_FAILURE, nullptr},
      {" \n\n", KESTRO_UTIL_EXIT_FAILURE, nullptr},
      {"100,101\n", KESTRO_UTIL_EXIT_FAILURE, nullptr},
      {nullptr, KESTRO_UTIL_EXIT_FAILURE, nullptr},
  };
  const std::string list = m_dir.Sub("list folder/buildList.txt");
  fs::create_directories(fs::path(list).parent_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.builds == nullptr ? "(no builds file)" : c.builds);
    fs::remove(Root() + "/bin/builds.txt");
    fs::remove(list);
    if (c.builds != nullptr) WriteTextFile(Root() + "/bin/builds.txt", c.builds);
    UtilRun run = Run({"listbuilds", list});
    EXPECT_EQ(run.m_exit, c.exit) << run.m_output;
    if (c.list == nullptr) {
      EXPECT_FALSE(fs::exists(list));
      EXPECT_NE(run.m_output.find("KestroUtil.exe: "), std::string::npos) << run.m_output;
    } else {
      EXPECT_EQ(ReadTextFile(list), c.list);
      EXPECT_EQ(run.m_output, "");
    }
  }
  // The patcher joins the list path with '\'.
  WriteTextFile(Root() + "/bin/builds.txt", "103\n104\n");
  UtilRun joined = Run({"listbuilds", m_dir.Sub("list folder\\joined.txt")});
  EXPECT_EQ(joined.m_exit, 0) << joined.m_output;
  EXPECT_EQ(ReadTextFile(m_dir.Sub("list folder/joined.txt")), "103,104,");

  // A list file that cannot be created.
  WriteTextFile(Root() + "/bin/builds.txt", "100\n");
  UtilRun run = Run({"listbuilds", m_dir.Sub("no such folder/list.txt")});
  EXPECT_EQ(run.m_exit, KESTRO_UTIL_EXIT_FAILURE);
  EXPECT_EQ(run.m_output,
            "KestroUtil.exe: cannot write " + m_dir.Sub("no such folder/list.txt") + "\n");
}

TEST_F(KestroUtilTest, BadArgumentsGiveTheUsageLine) {
  WriteTextFile(Root() + "/bin/builds.txt", "100\n");
  const std::string usage =
      "usage: KestroUtil.exe listbuilds PATH | repairdatabase patcher [--fast] | holddb\n";
  struct Case {
    std::vector<std::string> args;
    std::vector<Environment> environment;
    std::string output;
  };
  const Case cases[] = {
      {{}, {}, usage},
      {{"listbuilds"}, {}, usage},
      {{"listbuilds", "a", "b"}, {}, usage},
      {{"listbuilds", ""}, {}, "KestroUtil.exe: listbuilds needs a list file\n"},
      {{"repairdatabase"}, {}, usage},
      {{"repairdatabase", "launcher"}, {}, usage},
      {{"repairdatabase", "patcher", "--slow"}, {}, usage},
      {{"holddb", "now"}, {}, usage},
      {{"ListBuilds", "x"}, {}, usage},
      {{"repairdatabase", "patcher"},
       {{"KESTROUTIL_STEP_MS", "fast"}},
       "KestroUtil.exe: KESTROUTIL_STEP_MS must be a number of milliseconds up to 3600000\n"},
      {{"holddb"},
       {{"KESTROUTIL_WAIT_MS", "3600001"}},
       "KestroUtil.exe: KESTROUTIL_WAIT_MS must be a number of milliseconds up to 3600000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty()
                     ? "(none)"
                     : c.args[0] + " ... (" + std::to_string(c.args.size()) + " arguments)");
    UtilRun run = Run(c.args, c.environment);
    EXPECT_EQ(run.m_exit, KESTRO_UTIL_EXIT_USAGE);
    EXPECT_EQ(run.m_output, c.output);
  }
  EXPECT_FALSE(fs::exists(Database()));
}

// The rebuild at its own pace: each progress line arrives as one piece of
// output without a line end, and the database is the index of the asset
// files only (no links, nothing outside assets/), written in one step.
TEST_F(KestroUtilTest, RepairDatabaseIndexesTheAssetFiles) {
  WriteTree(Root(), {{"assets/Zeta.ja", "hello"},
                     {"assets/models/b.mdl", ""},
                     {"assets/models/deep/a b.dds", "hello"},
                     {"assets/models/empty folder", TREE_DIRECTORY},
                     {"assets/Alpha.wav", ""},
                     {"bin/Launcher.exe", "not an asset"},
                     {"outside.txt", "not an asset"}});
  fs::create_symlink(Root() + "/outside.txt", Root() + "/assets/link.txt");
  WriteTextFile(Database(), "the old database");

  ChildProcess* child = Start({"repairdatabase", "patcher"});
  std::vector<std::string> pieces;
  for (std::string piece; ReadChildOutput(child, piece); piece.clear()) pieces.push_back(piece);
  UtilRun run = Finish(child);
  EXPECT_EQ(run.m_exit, 0);
  EXPECT_EQ(pieces, (std::vector<std::string>{
                        "Rebuilding the Kestro asset database: scanning the asset files...",
                        "Found 4 asset files (10 bytes); computing checksums...",
                        "Checksums computed; writing assets.tdx...",
                        "The Kestro asset database was rebuilt with 4 assets.",
                    }));
  EXPECT_EQ(ReadTextFile(Database()),
            std::string("KestroAssetIndex 1\n") + "assets\\Alpha.wav\t0\t" + MD5_EMPTY + "\n" +
                "assets\\Zeta.ja\t5\t" + MD5_HELLO + "\n" + "assets\\models\\b.mdl\t0\t" +
                MD5_EMPTY + "\n" + "assets\\models\\deep\\a b.dds\t5\t" + MD5_HELLO + "\n");
  EXPECT_FALSE(fs::exists(Root() + "/assets.tdx.new"));

  // Without an assets folder the database is an empty index.
  fs::remove_all(Root() + "/assets");
  run = Run({"repairdatabase", "patcher", "--fast"});
  EXPECT_EQ(run.m_exit, 0) << run.m_output;
  EXPECT_EQ(ReadTextFile(Database()), "KestroAssetIndex 1\n");
}

// A database that cannot be written stays as it was, and no temporary file
// is left behind: the temporary name is taken by a folder, or the database
// is a folder that the rename cannot replace.
TEST_F(KestroUtilTest, RepairDatabaseThatCannotWriteLosesNothing) {
  WriteTree(Root(), {{"assets/a.dds", "hello"}});
  WriteTextFile(Database(), "the old database");
  fs::create_directory(Root() + "/assets.tdx.new");
  UtilRun run = Run({"repairdatabase", "patcher", "--fast"});
  EXPECT_EQ(run.m_exit, KESTRO_UTIL_EXIT_FAILURE);
  EXPECT_NE(run.m_output.find("KestroUtil.exe: cannot write " + Root() + "/assets.tdx.new\n"),
            std::string::npos)
      << run.m_output;
  EXPECT_EQ(ReadTextFile(Database()), "the old database");
  fs::remove(Root() + "/assets.tdx.new");

  fs::remove(Database());
  WriteTree(Root(), {{"assets.tdx/keep.txt", "kept"}});
  run = Run({"repairdatabase", "patcher", "--fast"});
  EXPECT_EQ(run.m_exit, KESTRO_UTIL_EXIT_FAILURE);
  EXPECT_NE(run.m_output.find("KestroUtil.exe: cannot replace " + Database() + ": "),
            std::string::npos)
      << run.m_output;
  EXPECT_EQ(ReadTextFile(Database() + "/keep.txt"), "kept");
  EXPECT_FALSE(fs::exists(Root() + "/assets.tdx.new"));
}

// A program of the family holds the database: the patcher's files-in-use
// check sees two attachments and cannot take it exclusively; once the holder
// has ended, the block is fresh again.
TEST_F(KestroUtilTest, HoldDbKeepsTheDatabaseInUse) {
  ChildProcess* holder = StartHolder();
  ASSERT_TRUE(OpenDatabaseBlock(Database(), false));
  EXPECT_EQ(GetAttachCount(), 2);
  EXPECT_FALSE(TakeExclusive());
  CloseDatabaseBlock();

  Kill(holder);
  ASSERT_TRUE(OpenDatabaseBlock(Database(), false));
  EXPECT_EQ(GetAttachCount(), 1);
  EXPECT_TRUE(TakeExclusive());
  ReleaseExclusive();
  CloseDatabaseBlock();
}

TEST_F(KestroUtilTest, RepairDatabaseWaitsWhileAnotherProgramHoldsTheDatabase) {
  WriteTree(Root(), {{"assets/a.dds", "hello"}});
  ChildProcess* holder = StartHolder();
  ChildProcess* repair = Start({"repairdatabase", "patcher"},
                               {{"KESTROUTIL_STEP_MS", "0"}, {"KESTROUTIL_WAIT_MS", "120000"}});
  std::string output;
  ASSERT_TRUE(ReadChildOutput(repair, output));
  EXPECT_EQ(output, "Waiting for another program to release the asset database...");
  EXPECT_FALSE(fs::exists(Database()));
  Kill(holder);  // its ownership is cleared as that of a dead process

  UtilRun run = Finish(repair, output);
  EXPECT_EQ(run.m_exit, 0) << run.m_output;
  EXPECT_EQ(ReadTextFile(Database()),
            std::string("KestroAssetIndex 1\nassets\\a.dds\t5\t") + MD5_HELLO + "\n");
}

TEST_F(KestroUtilTest, RepairDatabaseGivesUpAfterTheWait) {
  WriteTree(Root(), {{"assets/a.dds", "hello"}});
  WriteTextFile(Database(), "the old database");
  const std::vector<Environment> short_wait = {{"KESTROUTIL_WAIT_MS", "300"}};

  // Another program owns the database.
  ChildProcess* holder = StartHolder();
  UtilRun run = Run({"repairdatabase", "patcher"}, short_wait);
  EXPECT_EQ(run.m_exit, KESTRO_UTIL_EXIT_BUSY);
  EXPECT_EQ(run.m_output,
            "Waiting for another program to release the asset database...KestroUtil.exe: the "
            "asset database " +
                Database() + " is in use by process " + std::to_string(holder->m_pid) +
                "; gave up after 0.3 s\n");
  Kill(holder);

  // The patcher holds it exclusively (it did not let go before the rebuild).
  ASSERT_TRUE(OpenDatabaseBlock(Database(), false));
  ASSERT_TRUE(TakeExclusive());
  run = Run({"repairdatabase", "patcher"}, short_wait);
  ReleaseExclusive();
  CloseDatabaseBlock();
  EXPECT_EQ(run.m_exit, KESTRO_UTIL_EXIT_BUSY);
  EXPECT_EQ(run.m_output,
            "Waiting for another program to release the asset database...KestroUtil.exe: the "
            "asset database " +
                Database() + " is held exclusively by another program; gave up after 0.3 s\n");
  EXPECT_EQ(ReadTextFile(Database()), "the old database");
}

}  // namespace
}  // namespace BramPatch

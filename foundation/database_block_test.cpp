// The ownership block between real processes: database_block_testchild
// stands for the product's other programs.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/crash_test_support.h"
#include "foundation/database_block.h"
#include "foundation/database_block_api.h"
#include "foundation/database_block_names.h"
#include "foundation/database_block_peer.h"

namespace {

const std::string CHILD = std::string(OMVEL_TESTCHILD_DIR) + "/database_block_testchild";

bool Exists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

// A family program that runs commands and answers line by line.
class FamilyProgram {
 public:
  FamilyProgram(const std::string& database, std::vector<std::string> commands,
                const std::string& directory = DATABASE_BLOCK_DIRECTORY) {
    int to_child[2], from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      dup2(to_child[0], 0);
      dup2(from_child[1], 1);
      for (int fd : {to_child[0], to_child[1], from_child[0], from_child[1]}) close(fd);
      std::vector<char*> argv{const_cast<char*>(CHILD.c_str()),
                              const_cast<char*>(directory.c_str()),
                              const_cast<char*>(database.c_str())};
      for (std::string& command : commands) argv.push_back(command.data());
      argv.push_back(nullptr);
      execv(CHILD.c_str(), argv.data());
      _exit(98);
    }
    close(to_child[0]);
    close(from_child[1]);
    m_input = to_child[1];
    m_output = fdopen(from_child[0], "r");
  }
  ~FamilyProgram() {
    if (m_pid > 0) Kill();
    if (m_output != nullptr) fclose(m_output);
    if (m_input >= 0) close(m_input);
  }

  // The next line of output, "" at the end.
  std::string Line() {
    char buffer[256];
    if (m_output == nullptr || fgets(buffer, sizeof(buffer), m_output) == nullptr) return "";
    std::string line(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
  }
  // Lines up to and without "ready".
  std::vector<std::string> UntilReady() {
    std::vector<std::string> lines;
    for (std::string line = Line(); !line.empty() && line != "ready"; line = Line())
      lines.push_back(line);
    return lines;
  }
  void Continue() { (void)!write(m_input, "\n", 1); }
  int Pid() const { return m_pid; }
  void Kill() {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }
  // Lets it run to its end; its remaining lines.
  std::vector<std::string> Finish() {
    close(m_input);
    m_input = -1;
    std::vector<std::string> lines;
    for (std::string line = Line(); !line.empty(); line = Line()) lines.push_back(line);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    return lines;
  }

 private:
  int m_pid = -1;
  int m_input = -1;
  FILE* m_output = nullptr;
};

// A database folder of its own, so that each test has its own block.
class DatabaseBlockTest : public testing::Test {
 protected:
  void SetUp() override {
    m_folder = m_directory.path() + "/Kestro";
    ASSERT_EQ(mkdir(m_folder.c_str(), 0700), 0);
    m_database = m_folder + "/assets.tdx";
  }
  void ExpectNoFilesLeft() {
    std::string mutex_file, presence_file, block_file;
    ASSERT_TRUE(DatabaseBlock().FilesFor(m_database, &mutex_file, &presence_file, &block_file));
    EXPECT_FALSE(Exists(mutex_file));
    EXPECT_FALSE(Exists(presence_file));
    EXPECT_FALSE(Exists(block_file));
  }

  TestDirectory m_directory;
  std::string m_folder;
  std::string m_database;
};

TEST(DatabaseBlockNames, DerivedFromTheLowerCasedFolder) {
  const std::string PREFIX = "09731AC6-B611-4e2a-B181-578073F64F24/";
  struct Good {
    const char* path;
    const char* mutex_name;
  };
  const Good good[] = {
      {"/Games/Kestro/assets.tdx", "games/kestro"},
      {"/games/KESTRO/ASSETS.TDX", "games/kestro"},
      {"//srv\\Share\\Kestro\\Assets.Tdx", "srv/share/kestro"},
      {"relative/dir/assets.tdx", "relative/dir"},
      {"/assets.tdx", ""},
  };
  for (const Good& g : good) {
    DatabaseBlockNames names;
    ASSERT_TRUE(DatabaseBlockNamesFromPath(g.path, &names)) << g.path;
    EXPECT_EQ(names.mutex_name, PREFIX + g.mutex_name) << g.path;
    EXPECT_EQ(names.memory_name, PREFIX + g.mutex_name + "/-ipc2") << g.path;
  }
  const std::string longest_folder(DATABASE_BLOCK_NAME_LIMIT - PREFIX.size(), 'a');
  DatabaseBlockNames names;
  EXPECT_TRUE(DatabaseBlockNamesFromPath("/" + longest_folder + "/assets.tdx", &names));
  EXPECT_EQ(names.mutex_name.size(), DATABASE_BLOCK_NAME_LIMIT);
  const std::string bad[] = {
      "",
      "assets.tdx",           // no folder part at all
      "/games/myassets.tdx",  // not the file assets.tdx
      "/games/assets.tdx.bak",
      "/games/assets.tdz",
      "/" + longest_folder + "a/assets.tdx",  // 259 characters
  };
  for (const std::string& path : bad) {
    EXPECT_FALSE(DatabaseBlockNamesFromPath(path, &names)) << path;
  }
}

TEST(DatabaseBlockNames, FileStemsAreDistinctAndFileNameSafe) {
  const std::string a = DatabaseBlockFileStem("09731AC6-B611-4e2a-B181-578073F64F24/games/kestro");
  const std::string b = DatabaseBlockFileStem("09731AC6-B611-4e2a-B181-578073F64F24/games/kestrp");
  EXPECT_NE(a, b);
  EXPECT_THAT(a, testing::MatchesRegex("kestro-[0-9a-f]{32}"));
  EXPECT_EQ(a, DatabaseBlockFileStem("09731AC6-B611-4e2a-B181-578073F64F24/games/kestro"));
}

TEST_F(DatabaseBlockTest, BadPathsFailWithoutCreatingAnything) {
  TestDirectory block_directory;
  const std::string too_long = m_directory.path() + "/" + std::string(240, 'x') + "/assets.tdx";
  mkdir((m_directory.path() + "/" + std::string(240, 'x')).c_str(), 0700);
  const std::string paths[] = {
      m_folder + "/assets.txt",
      m_folder + "/myassets.tdx",
      m_directory.path() + "/missing/assets.tdx",
      too_long,
  };
  for (const std::string& path : paths) {
    DatabaseBlock block(block_directory.path());
    EXPECT_FALSE(block.Open(path, false)) << path;
    EXPECT_EQ(block.GetAttachCount(), 0);
    EXPECT_TRUE(block_directory.Files().empty()) << path;
  }
  // The same in the real block directory, where the names can be checked.
  DatabaseBlock block;
  const std::string missing = m_directory.path() + "/missing/assets.tdx";
  EXPECT_FALSE(block.Open(missing, false));
  std::string mutex_file, presence_file, block_file;
  ASSERT_TRUE(block.FilesFor(missing, &mutex_file, &presence_file, &block_file));
  EXPECT_FALSE(Exists(mutex_file));
  EXPECT_FALSE(Exists(block_file));
}

TEST_F(DatabaseBlockTest, AloneTheBlockIsFreshAndTakingItExclusivelySucceeds) {
  DatabaseBlock block;
  ASSERT_TRUE(block.Open(m_database, false));
  EXPECT_TRUE(block.Open(m_database, false)) << "attached already";
  EXPECT_EQ(block.GetAttachCount(), 1);
  EXPECT_TRUE(block.IsHost());
  const std::int32_t me = static_cast<std::int32_t>(getpid());
  EXPECT_EQ(block.Read(DatabaseBlockField::PROTOCOL), DATABASE_BLOCK_PROTOCOL);
  EXPECT_EQ(block.Read(DatabaseBlockField::HOST), me);
  ASSERT_TRUE(block.TakeExclusive());
  EXPECT_EQ(block.Read(DatabaseBlockField::EXCLUSIVE_HOLDER), me);
  EXPECT_EQ(block.Read(DatabaseBlockField::OWNER), me);
  EXPECT_FALSE(block.TakeExclusive()) << "held already";
  block.ReleaseExclusive();
  EXPECT_EQ(block.Read(DatabaseBlockField::EXCLUSIVE_HOLDER), 0);
  EXPECT_EQ(block.Read(DatabaseBlockField::OWNER), DATABASE_BLOCK_NO_PROCESS);
  block.Close();
  EXPECT_EQ(block.GetAttachCount(), 0);
  ExpectNoFilesLeft();
}

TEST_F(DatabaseBlockTest, ProcessWideFunctionsFollowThePatchersOrder) {
  ASSERT_TRUE(OpenDatabaseBlock(m_database, false));
  EXPECT_EQ(GetAttachCount(), 1);
  EXPECT_TRUE(TakeExclusive());
  ReleaseExclusive();
  CloseDatabaseBlock();
  EXPECT_EQ(GetAttachCount(), 0);
  ExpectNoFilesLeft();
}

TEST_F(DatabaseBlockTest, SecondProgramAttachedMakesTheCountTwo) {
  FamilyProgram product(m_database, {"open", "count", "hold", "count"});
  EXPECT_EQ(product.UntilReady(), (std::vector<std::string>{"open 1", "count 1"}));
  DatabaseBlock block;
  ASSERT_TRUE(block.Open(m_database, false));
  EXPECT_EQ(block.GetAttachCount(), 2);
  EXPECT_FALSE(block.IsHost());
  EXPECT_FALSE(block.TakeExclusive()) << "somebody else has the database open";
  block.Close();
  EXPECT_EQ(product.Finish(), (std::vector<std::string>{"count 2"}))
      << "a non-host's close leaves the count";
  ExpectNoFilesLeft();
}

TEST_F(DatabaseBlockTest, PathsDifferingOnlyInCaseShareABlock) {
  const std::string other_folder = m_directory.path() + "/KESTRO";
  ASSERT_EQ(mkdir(other_folder.c_str(), 0700), 0);
  FamilyProgram product(other_folder + "/Assets.TDX", {"open", "hold"});
  EXPECT_EQ(product.UntilReady(), (std::vector<std::string>{"open 1"}));
  DatabaseBlock block;
  ASSERT_TRUE(block.Open(m_database, false));
  EXPECT_EQ(block.GetAttachCount(), 2);
  block.Close();
  product.Finish();
}

TEST_F(DatabaseBlockTest, KilledHolderLeavesNothingBehind) {
  FamilyProgram product(m_database, {"open", "own", "exclusive", "hold"});
  EXPECT_EQ(product.UntilReady(), (std::vector<std::string>{"open 1", "own 1", "exclusive 1"}));
  product.Kill();
  DatabaseBlock block;
  ASSERT_TRUE(block.Open(m_database, false)) << "the dead holder's exclusive use died with it";
  EXPECT_EQ(block.GetAttachCount(), 1);
  EXPECT_EQ(block.Read(DatabaseBlockField::HOST), static_cast<std::int32_t>(getpid()));
  EXPECT_EQ(block.Read(DatabaseBlockField::OWNER), DATABASE_BLOCK_NO_PROCESS);
  EXPECT_TRUE(block.TakeExclusive());
  block.Close();
  ExpectNoFilesLeft();
}

TEST_F(DatabaseBlockTest, ExclusiveHolderKeepsOthersOutUnlessSuspended) {
  struct Case {
    std::vector<std::string> holder;
    bool open_plain;
    bool open_allowing_suspended;
  };
  const Case cases[] = {
      {{"open", "exclusive", "hold"}, false, false},
      {{"open", "exclusive", "suspend", "hold"}, false, true},
  };
  for (const Case& c : cases) {
    FamilyProgram holder(m_database, c.holder);
    holder.UntilReady();
    DatabaseBlock plain;
    EXPECT_EQ(plain.Open(m_database, false), c.open_plain);
    DatabaseBlock allowing;
    EXPECT_EQ(allowing.Open(m_database, true), c.open_allowing_suspended);
    allowing.Close();
    holder.Finish();
  }
  ExpectNoFilesLeft();
}

TEST_F(DatabaseBlockTest, DeadExclusiveHolderDoesNotLockOthersOut) {
  FamilyProgram holder(m_database, {"open", "exclusive", "suspend", "hold"});
  holder.UntilReady();
  FamilyProgram guest(m_database, {"open-suspended", "hold"});  // keeps the block alive
  EXPECT_EQ(guest.UntilReady(), (std::vector<std::string>{"open 1"}));
  holder.Kill();
  DatabaseBlock block;
  EXPECT_TRUE(block.Open(m_database, false));
  EXPECT_EQ(block.Read(DatabaseBlockField::EXCLUSIVE_HOLDER), 0);
  block.Close();
  guest.Finish();
}

TEST_F(DatabaseBlockTest, HostIsTakenOverWhenItLeavesOrDies) {
  DatabaseBlock block;
  ASSERT_TRUE(block.Open(m_database, false));
  FamilyProgram product(m_database, {"open", "hold", "idle", "fields", "hold"});
  product.UntilReady();
  block.Close();  // the host leaves
  product.Continue();
  EXPECT_EQ(product.Line(), "idle");
  const std::string fields = product.Line();
  EXPECT_THAT(fields, testing::StartsWith("fields " + std::to_string(product.Pid()) + " "));
  EXPECT_EQ(product.Line(), "ready");

  DatabaseBlock second;
  ASSERT_TRUE(second.Open(m_database, false));
  DatabaseBlockPeer peer(second);
  EXPECT_FALSE(second.IsHost());
  product.Kill();  // the host dies
  peer.Idle();
  EXPECT_TRUE(second.IsHost());
  EXPECT_EQ(second.Read(DatabaseBlockField::HOST), static_cast<std::int32_t>(getpid()));
  second.Close();
}

TEST_F(DatabaseBlockTest, HostClearsDeadOwnerAndRequester) {
  DatabaseBlock block;
  ASSERT_TRUE(block.Open(m_database, false));
  DatabaseBlockPeer peer(block);
  FamilyProgram owner(m_database, {"open", "own", "hold"});
  EXPECT_EQ(owner.UntilReady(), (std::vector<std::string>{"open 1", "own 1"}));
  FamilyProgram requester(m_database, {"open", "own", "hold"});
  EXPECT_EQ(requester.UntilReady(), (std::vector<std::string>{"open 1", "own 0"}));
  EXPECT_EQ(block.Read(DatabaseBlockField::REQUESTER), requester.Pid());
  const int owner_pid = owner.Pid();
  const int requester_pid = requester.Pid();
  owner.Kill();
  requester.Kill();

  testing::internal::CaptureStdout();
  peer.Idle();
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_THAT(log,
              testing::HasSubstr("IPCIdle> clearing dead database owner (owner processID was " +
                                 std::to_string(owner_pid) + ")\n"));
  EXPECT_THAT(log, testing::HasSubstr(
                       "IPCIdle> clearing dead database requester (requester processID was " +
                       std::to_string(requester_pid) + ")\n"));
  EXPECT_EQ(block.Read(DatabaseBlockField::OWNER), DATABASE_BLOCK_NO_PROCESS);
  EXPECT_EQ(block.Read(DatabaseBlockField::REQUESTER), DATABASE_BLOCK_NO_PROCESS);
  block.Close();
}

TEST_F(DatabaseBlockTest, WaitingForOwnershipOutlivesADeadOwner) {
  DatabaseBlock block;
  ASSERT_TRUE(block.Open(m_database, false));
  DatabaseBlockPeer peer(block);
  FamilyProgram owner(m_database, {"open", "own", "hold"});
  owner.UntilReady();
  EXPECT_FALSE(peer.WaitForOwnership(0)) << "owned by the other program";
  EXPECT_EQ(block.Read(DatabaseBlockField::REQUESTER), static_cast<std::int32_t>(getpid()));
  owner.Kill();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(peer.WaitForOwnership(60000));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(block.Read(DatabaseBlockField::OWNER), static_cast<std::int32_t>(getpid()));
  EXPECT_EQ(block.Read(DatabaseBlockField::REQUESTER), DATABASE_BLOCK_NO_PROCESS);
  peer.ReleaseOwnership();
  EXPECT_EQ(block.Read(DatabaseBlockField::OWNER), DATABASE_BLOCK_NO_PROCESS);
  block.Close();
}

}  // namespace

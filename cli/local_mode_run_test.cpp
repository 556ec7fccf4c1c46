// Local mode end to end: sample builds 100, 101 and 102 made with
// omvel-patchkit, a self-contained omvel-patcher-cli carrying 100 -> 101 ->
// 102, and real runs of it on registered sample installations.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/paths_test_support.h"
#include "foundation/registry.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string BIN = OMVEL_BIN_DIR;

struct CommandResult {
  int status;
  std::string output;
};

// Runs a shell command line; standard output and error together.
CommandResult Shell(const std::string& command) {
  std::FILE* pipe = popen((command + " </dev/null 2>&1").c_str(), "r");
  CommandResult result{-1, {}};
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    result.output.append(buffer, n);
  }
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string FileText(const std::string& path) { return ReadTextFile(path); }

class LocalModeRun : public testing::Test {
 protected:
  // The three builds and the patcher are made once for the whole suite.
  static void SetUpTestSuite() {
    s_work = new ScopedTempDir;
    const std::string kit = BIN + "/omvel-patchkit";
    const std::string w = s_work->path();
    std::string script;
    for (const char* build : {"100", "101", "102"}) {
      script += kit + " sample " + w + "/b" + build + " --build " + build + " >/dev/null && ";
    }
    script += kit + " make " + w + "/b100 " + w + "/b101 " + w + "/a1.zip >/dev/null && ";
    script += kit + " make " + w + "/b101 " + w + "/b102 " + w + "/a2.zip >/dev/null && ";
    script += "m100=$(" + kit + " md5 " + w + "/b100/bin/Launcher.exe | cut -d' ' -f1) && ";
    script += "m101=$(" + kit + " md5 " + w + "/b101/bin/Launcher.exe | cut -d' ' -f1) && ";
    script += kit + " package create " + BIN + "/omvel-patcher-cli " + w +
              "/patcher -r 100 101 'bin\\Launcher.exe' $m100 " + w + "/a1.zip -r 101 102 " +
              "'bin\\Launcher.exe' $m101 " + w + "/a2.zip >/dev/null";
    const CommandResult made = Shell(script);
    ASSERT_EQ(made.status, 0) << made.output;
  }
  static void TearDownTestSuite() {
    delete s_work;
    s_work = nullptr;
  }

  void SetUp() override { ASSERT_NE(s_work, nullptr); }

  // A registered sample installation of `build` with a registry of its own.
  std::string Install(const char* build) {
    const std::string install = m_dir.Sub("install");
    const CommandResult made = Shell(Environment() + " " + BIN + "/omvel-patchkit sample " +
                                     install + " --build " + build + " --register");
    EXPECT_EQ(made.status, 0) << made.output;
    return install;
  }

  std::string Environment() const {
    return "OMVEL_REGISTRY=" + m_dir.Sub("registry.reg") + " TEMP=" + m_dir.Sub("temp") +
           " KESTROUTIL_STEP_MS=0";
  }

  CommandResult Patch(const std::string& patcher, const std::string& arguments = "--yes") {
    return Shell(Environment() + " " + patcher + " " + arguments);
  }

  std::optional<std::uint32_t> PatchingMark() {
    setenv("OMVEL_REGISTRY", m_dir.Sub("registry.reg").c_str(), 1);
    RegistryKey key;
    std::uint32_t value = 0;
    const bool found =
        RegistryKey::LocalMachine().OpenKey("Software\\Omvel\\Products\\KestroSimulator",
                                            REGISTRY_ACCESS_READ, &key) == REGISTRY_OK &&
        key.QueryDwordValue("IsPatching", &value) == REGISTRY_OK;
    unsetenv("OMVEL_REGISTRY");
    return found ? std::optional<std::uint32_t>(value) : std::nullopt;
  }

  static std::string Build(const char* build) { return s_work->path() + "/b" + build; }
  static std::string Patcher() { return s_work->path() + "/patcher"; }

  static ScopedTempDir* s_work;
  ScopedTempDir m_dir;
};

ScopedTempDir* LocalModeRun::s_work = nullptr;

const std::vector<std::string> READY = {"Ready to install from local patch file.",
                                        "Current version: 100.", ""};

TEST_F(LocalModeRun, PatchesFrom100To102) {
  const std::string install = Install("100");
  const std::uintmax_t logBefore = fs::file_size(install + "/unins000.dat");
  const CommandResult run = Patch(Patcher());
  ASSERT_EQ(run.status, 0) << run.output;

  std::vector<std::string> expected = READY;
  for (const std::string& line :
       {"Patching install: " + install,
        std::string("Checking for available disk space for patching."),
        std::string("Patching from 100 to 101."), std::string("Unpacking patch file..."),
        std::string("Patching..."), std::string(""), std::string("Patching from 101 to 102."),
        std::string("Unpacking patch file..."), std::string("Patching..."), std::string(""),
        std::string("There are no more patches for this build."), std::string(""),
        std::string("Updating Kestro asset database... (this may take several minutes)")}) {
    expected.push_back(line);
  }
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_GE(lines.size(), expected.size() + 1) << run.output;
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected);
  EXPECT_EQ(lines.back(), "Patching completed.");

  const CommandResult same = Shell("diff -r -x unins000.dat " + Build("102") + " " + install +
                                   " | grep -v '^Only in " + install + ".*: update_' ; true");
  EXPECT_EQ(same.output, "") << "the installation differs from build 102";
  EXPECT_GT(fs::file_size(install + "/unins000.dat"), logBefore);
  EXPECT_EQ(PatchingMark(), std::nullopt);
}

TEST_F(LocalModeRun, InstallationAlreadyAtTheLastBuild) {
  const std::string install = Install("102");
  const CommandResult run = Patch(Patcher());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Lines(run.output),
            (std::vector<std::string>{
                "This patch file is not applicable to your current installation version.",
                "Patching install: " + install,
                "No valid patch operation was specified. Patching aborted."}));
}

TEST_F(LocalModeRun, PatcherWithoutAPackageSelectsNoMode) {
  const std::string install = Install("100");
  const CommandResult run = Patch(BIN + "/omvel-patcher-cli");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Lines(run.output), (std::vector<std::string>{
                                   "Patching install: " + install,
                                   "No valid patch operation was specified. Patching aborted."}));
}

// A file that only the second step changes.
std::string FileChangedOnlyBy101To102(const std::string& b100, const std::string& b101,
                                      const std::string& b102) {
  for (const auto& entry : fs::recursive_directory_iterator(b101 + "/assets")) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = fs::relative(entry.path(), b101).string();
    if (!fs::exists(b100 + "/" + relative) || !fs::exists(b102 + "/" + relative)) continue;
    const std::string text = FileText(entry.path().string());
    if (text == FileText(b100 + "/" + relative) && text != FileText(b102 + "/" + relative)) {
      return relative;
    }
  }
  return std::string();
}

TEST_F(LocalModeRun, DamagedFileStopsTheSecondStepAndKeepsTheFirst) {
  const std::string install = Install("100");
  const std::string victim = FileChangedOnlyBy101To102(Build("100"), Build("101"), Build("102"));
  ASSERT_FALSE(victim.empty());
  WriteTextFile(install + "/" + victim, "damaged by the user");

  const CommandResult run = Patch(Patcher());
  EXPECT_EQ(run.status, 1) << run.output;
  const std::vector<std::string> lines = Lines(run.output);
  EXPECT_EQ(lines.back(), "Patching aborted.");
  EXPECT_EQ(run.output.find("Updating Kestro asset database"), std::string::npos);
  EXPECT_NE(run.output.find("Existing file is damaged and cannot be patched: "), std::string::npos)
      << run.output;
  EXPECT_EQ(FileText(install + "/bin/Launcher.exe"), FileText(Build("101") + "/bin/Launcher.exe"))
      << "the first step stays installed";
  EXPECT_EQ(FileText(install + "/" + victim), "damaged by the user");
  EXPECT_EQ(PatchingMark(), 1u);
}

// Starts a program with its output in a file; returns its process id.
pid_t Spawn(const std::vector<std::string>& environment, const std::string& program,
            const std::string& argument, const std::string& outputFile) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<std::string> env(environment);
  for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string path = program;
  std::string first = argument;
  char* argv[] = {path.data(), first.data(), nullptr};
  pid_t pid = -1;
  posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

TEST_F(LocalModeRun, CancelDuringTheRebuildEndsTheUtility) {
  Install("100");
  const std::string log = m_dir.Sub("patcher.log");
  // The utility pauses a minute between its lines: only a cancel ends it soon.
  const pid_t patcher = Spawn({"OMVEL_REGISTRY=" + m_dir.Sub("registry.reg"),
                               "TEMP=" + m_dir.Sub("temp"), "KESTROUTIL_STEP_MS=60000"},
                              Patcher(), "--yes", log);
  ASSERT_GT(patcher, 0);
  bool rebuilding = false;
  for (int i = 0; i < 600 && !rebuilding; ++i) {  // up to a minute
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    rebuilding = FileText(log).find("Rebuilding") != std::string::npos;
  }
  ASSERT_TRUE(rebuilding) << FileText(log);
  kill(patcher, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(patcher, &status, 0), patcher);
  const std::vector<std::string> lines = Lines(FileText(log));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << FileText(log);  // a cancelled rebuild fails no run
  EXPECT_NE(FileText(log).find("Cancelling patch process..."), std::string::npos);
  EXPECT_EQ(lines.back(), "Patching completed.");
}

TEST_F(LocalModeRun, DatabaseHeldByAnotherProgram) {
  const std::string install = Install("100");
  const pid_t holder =
      Spawn({}, install + "/bin/KestroUtil.exe", "holddb", m_dir.Sub("holder.log"));
  ASSERT_GT(holder, 0);
  for (int i = 0; i < 100 && FileText(m_dir.Sub("holder.log")).find("holding") == std::string::npos;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const CommandResult run = Patch(Patcher());
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("Unable to patch - files in use."), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Files In Use: One or more Kestro-related executables"),
            std::string::npos);
  EXPECT_EQ(Lines(run.output).back(), "Patching aborted.");
  EXPECT_EQ(FileText(install + "/bin/Launcher.exe"), FileText(Build("100") + "/bin/Launcher.exe"));
}

}  // namespace

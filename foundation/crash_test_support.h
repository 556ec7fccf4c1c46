// Test helpers for the thread, crash and ownership-block tests: a temporary
// directory that removes itself, and real child processes whose output and
// end are captured.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

class TestDirectory {
 public:
  TestDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "omvel-crash-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
  }
  ~TestDirectory() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  TestDirectory(const TestDirectory&) = delete;
  TestDirectory& operator=(const TestDirectory&) = delete;

  const std::string& path() const { return m_path; }

  // Names of the files in the directory, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(m_path, ignored)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string m_path;
};

inline void ChangeDirectoryOrDie(const std::string& path) {
  if (chdir(path.c_str()) != 0) _exit(99);
}

struct ChildResult {
  int status = -1;     // as waitpid reports it
  std::string output;  // standard output and standard error, interleaved
  bool Exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
  bool Signalled(int signal_number) const {
    return WIFSIGNALED(status) && WTERMSIG(status) == signal_number;
  }
};

// Runs program with arguments in directory and waits for it.
inline ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& directory) {
  ChildResult result;
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return result;
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipe_fds[1], 1);
    dup2(pipe_fds[1], 2);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    ChangeDirectoryOrDie(directory);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(98);
  }
  close(pipe_fds[1]);
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(pipe_fds[0], buffer, sizeof(buffer));
    if (got <= 0) break;
    result.output.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipe_fds[0]);
  waitpid(child, &result.status, 0);
  return result;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// lldb must open the dump and name `function` in the faulting thread's
// backtrace.
inline void ExpectLldbBacktraceShows(const std::string& dump, const std::string& function) {
  if (system("command -v lldb > /dev/null 2>&1") != 0) {
    ADD_FAILURE() << "lldb is not installed; the dump check needs Debian's lldb";
    return;
  }
  setenv("PYTHONPATH", "/usr/lib/llvm-14/lib/python3.11/dist-packages", 1);
  TestDirectory scratch;
  const ChildResult lldb =
      RunChild("/bin/sh", {"-c", "exec lldb --batch -c '" + dump + "' -o 'bt 20'"}, scratch.path());
  EXPECT_TRUE(lldb.Exited(0)) << lldb.output;
  EXPECT_THAT(lldb.output, testing::HasSubstr("was loaded")) << lldb.output;
  EXPECT_THAT(lldb.output, testing::HasSubstr(function)) << lldb.output;
}

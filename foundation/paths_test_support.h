// Test helpers around real files: a temporary directory that removes itself.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

class ScopedTempDir {
 public:
  ScopedTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "omvel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
  }
  ~ScopedTempDir() {
    if (m_path.empty()) return;
    std::error_code ignored;
    // Give every entry its owner write bit back so that nothing stays behind.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink(ignored)) chmod(it->path().c_str(), 0700);
    }
    std::filesystem::remove_all(m_path, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return m_path; }
  std::string Sub(const std::string& relative) const { return m_path + "/" + relative; }

 private:
  std::string m_path;
};

inline void WriteTextFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Collects what the process writes to fd 1 (the diagnostic log's standard
// output) while it lives, in `file` or in a temporary directory of its own.
class StdoutCapture {
 public:
  explicit StdoutCapture(std::string file = std::string())
      : m_file(file.empty() ? m_dir.Sub("stdout") : std::move(file)) {
    std::fflush(stdout);
    m_saved = dup(STDOUT_FILENO);
    const int fd = open(m_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    dup2(fd, STDOUT_FILENO);
    close(fd);
  }
  ~StdoutCapture() { Restore(); }
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // Stops the capture and returns what arrived.
  std::string Finish() {
    Restore();
    return ReadTextFile(m_file);
  }

 private:
  void Restore() {
    if (m_saved < 0) return;
    std::fflush(stdout);
    dup2(m_saved, STDOUT_FILENO);
    close(m_saved);
    m_saved = -1;
  }
  ScopedTempDir m_dir;
  std::string m_file;
  int m_saved = -1;
};

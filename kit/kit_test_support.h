// Helpers of the kit tests: a temporary directory that removes itself, whole
// files as strings, and a buffer that fails one chosen call.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "kit/data_buffer.h"

class KitTempDir {
 public:
  KitTempDir() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
      const std::filesystem::path candidate =
          std::filesystem::temp_directory_path() /
          ("omvel-kit-" + std::to_string(stamp) + "-" + std::to_string(counter++));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) m_path = candidate.string();
    }
  }
  ~KitTempDir() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  KitTempDir(const KitTempDir&) = delete;
  KitTempDir& operator=(const KitTempDir&) = delete;

  const std::string& path() const { return m_path; }
  std::string Sub(const std::string& relative) const { return m_path + "/" + relative; }

 private:
  std::string m_path;
};

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Forwards every call to `inner`, except that the `fail_write`-th WriteData
// and the `fail_read`-th ReadData (counted from 1; 0 = never) return `code`
// without touching `inner`.
class FaultyBuffer : public BramDataBuffer {
 public:
  FaultyBuffer(BramDataBuffer& inner, int fail_write, int fail_read, BramResult code)
      : m_inner(inner), m_fail_write(fail_write), m_fail_read(fail_read), m_code(code) {}

  std::uint64_t GetSize() override { return m_inner.GetSize(); }
  BramResult SetSize(std::uint64_t size) override { return m_inner.SetSize(size); }
  std::uint64_t GetPosition() override { return m_inner.GetPosition(); }
  BramResult SetPosition(std::uint64_t position) override { return m_inner.SetPosition(position); }
  BramResult WriteData(const void* bytes, std::uint32_t count) override {
    if (++m_writes == m_fail_write) return m_code;
    return m_inner.WriteData(bytes, count);
  }
  BramResult ReadData(void* bytes, std::uint32_t count) override {
    if (++m_reads == m_fail_read) return m_code;
    return m_inner.ReadData(bytes, count);
  }

 private:
  BramDataBuffer& m_inner;
  int m_fail_write;
  int m_fail_read;
  BramResult m_code;
  int m_writes = 0;
  int m_reads = 0;
};

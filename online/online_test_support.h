// Small helpers of the transfer client's tests.
#pragma once

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "kit/data_buffer_memory_dynamic.h"
#include "online/download_callback.h"

namespace online_test {

inline std::string RandomBytes(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

inline std::string Contents(BramDataBufferMemoryDynamic& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.GetData()), buffer.GetSize());
}

inline void Fill(BramDataBufferMemoryDynamic& buffer, const std::string& bytes) {
  buffer.WriteData(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

// Answers false to the first `calls_before_cancel` questions, true after.
class CancelAfter : public DownloadURLCallback {
 public:
  explicit CancelAfter(int calls_before_cancel) : m_left(calls_before_cancel) {}
  bool IsCancelled() override {
    ++m_calls;
    return m_left-- <= 0;
  }
  int Calls() const { return m_calls; }

 private:
  int m_left;
  int m_calls = 0;
};

// Lines of captured standard output.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// Sets or clears an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old, m_had = true;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (m_had) {
      setenv(m_name, m_old.c_str(), 1);
    } else {
      unsetenv(m_name);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* m_name;
  std::string m_old;
  bool m_had = false;
};

}  // namespace online_test

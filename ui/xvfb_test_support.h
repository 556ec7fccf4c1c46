// Test helpers for the window programs that need no toolkit in the test
// process itself: an X server of the test's own (Xvfb), a web server on
// 127.0.0.1, a machine registry file, child processes with their output.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/child_process.h"
#include "foundation/paths_test_support.h"
#include "platform/process_launch.h"

namespace BramPatch {

// A child whose joined output a thread keeps reading (so the child never
// blocks on a full pipe), until it ends.
class DrainedChild {
 public:
  // Starts the command line "\"program\" arguments"; Started() tells.
  DrainedChild(const std::string& program, const std::string& arguments) {
    m_child = StartChildProcess(program, arguments);
    if (m_child == nullptr) return;
    m_reader = std::thread([this] {
      std::string chunk;
      while (ReadChildOutput(m_child, chunk)) {
        std::lock_guard lock(m_mutex);
        m_output += chunk;
        chunk.clear();
      }
    });
  }
  ~DrainedChild() { Stop(); }
  DrainedChild(const DrainedChild&) = delete;
  DrainedChild& operator=(const DrainedChild&) = delete;

  bool Started() const { return m_child != nullptr; }
  std::string Output() const {
    std::lock_guard lock(m_mutex);
    return m_output;
  }
  // Waits (up to `limit` ms, a hang guard) until the output holds `text`.
  bool WaitForOutput(const std::string& text, unsigned limit = 60000) const {
    for (unsigned waited = 0; waited < limit; waited += 10) {
      if (Output().find(text) != std::string::npos) return true;
      if (!m_reader.joinable()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // Waits for the child's own end; its exit code.
  int Wait() {
    if (m_child == nullptr) return -1;
    if (m_reader.joinable()) m_reader.join();
    WaitChild(m_child, CHILD_WAIT_INFINITE);
    return ChildExitCode(m_child);
  }
  // Asks it to end (SIGTERM), then waits.
  void Stop() {
    if (m_child == nullptr) return;
    if (!m_stopped) OS::RequestProcessEnd(m_child->m_pid);
    m_stopped = true;
    Wait();
    delete m_child;
    m_child = nullptr;
  }
  void MarkEnded() { m_stopped = true; }

 private:
  ChildProcess* m_child = nullptr;
  std::thread m_reader;
  mutable std::mutex m_mutex;
  std::string m_output;
  bool m_stopped = false;
};

// An Xvfb server on a display number it picks itself (-displayfd), stopped
// with the object.
class XvfbServer {
 public:
  XvfbServer() : m_server("Xvfb", "-displayfd 1 -screen 0 1280x1024x24 -nolisten tcp") {
    if (!m_server.Started()) return;
    for (int i = 0; i < 6000 && m_display.empty(); ++i) {
      const std::string output = m_server.Output();
      // The display number is a line of digits of its own.
      std::size_t start = 0;
      for (std::size_t end = output.find('\n'); end != std::string::npos;
           start = end + 1, end = output.find('\n', start)) {
        const std::string line = output.substr(start, end - start);
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
          m_display = ":" + line;
        }
      }
      if (m_display.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // ":N", or "" when the server did not come up.
  const std::string& Display() const { return m_display; }

 private:
  DrainedChild m_server;
  std::string m_display;
};

// A web server for a directory on 127.0.0.1 and a port of its own choice.
class LocalWebServer {
 public:
  explicit LocalWebServer(const std::string& directory)
      : m_server("python3",
                 "-u -m http.server 0 --bind 127.0.0.1 --directory \"" + directory + "\"") {
    const std::string marker = "port ";
    if (!m_server.WaitForOutput("(http://")) return;
    const std::string output = m_server.Output();
    const std::size_t at = output.find(marker);
    if (at != std::string::npos) m_port = std::stoi(output.substr(at + marker.size()));
  }
  int Port() const { return m_port; }
  // "http://127.0.0.1:PORT"
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }

 private:
  DrainedChild m_server;
  int m_port = 0;
};

// A machine registry file of the test's own (OMVEL_REGISTRY), with the
// page's base address and, when given, the product's registration.
inline void WriteTestRegistry(const std::string& file, const std::string& pageBase,
                              const std::string& installPath = "") {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  text += "[HKEY_LOCAL_MACHINE\\Software\\Omvel]\r\n";
  if (!pageBase.empty()) text += "\"PatcherPageURL\"=\"" + pageBase + "\"\r\n";
  if (!installPath.empty()) {
    text += "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\Kestro]\r\n";
    text += "\"ProductClass\"=\"Kestro\"\r\n";
    text += "\"ProductInstallPath\"=\"" + installPath + "\"\r\n";
  }
  WriteTextFile(file, text);
}

// A base address nobody serves: a loopback port that the system has just
// handed out and taken back. (Not a well-known port: the web view refuses
// those before it even connects.)
inline std::string UnservedPageBase() {
  DrainedChild probe("python3",
                     "-c \"import socket; s = socket.socket(); s.bind(('127.0.0.1', 0)); "
                     "print(s.getsockname()[1])\"");
  probe.Wait();
  probe.MarkEnded();
  std::string port = probe.Output();
  while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
  EXPECT_FALSE(port.empty());
  return "http://127.0.0.1:" + port;
}

}  // namespace BramPatch

// Test doubles for the run layer: a view that records every call, and a
// system with chosen answers.
#pragma once

#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_info.h"
#include "run/patch_messaging.h"
#include "run/patch_view.h"

namespace BramPatch {

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (m_old) {
      setenv(m_name, m_old->c_str(), 1);
    } else {
      unsetenv(m_name);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

class RecordingView : public PatchView {
 public:
  struct Box {
    std::string text, caption;
    MessageBoxStyle style;
  };

  RecordingView() { SetCurrentView(this); }
  ~RecordingView() override { SetCurrentView(nullptr); }

  void AppendText(int kind, const std::string& text) override {
    std::lock_guard lock(m_mutex);
    texts.emplace_back(kind, text);
  }
  void WorkerFinished() override { ++workerFinished; }
  void PatchInstalled() override { ++patchesInstalled; }
  void SetGaugeRange(int range) override { gaugeRange = range; }
  void SetGaugeValue(int value) override { gaugeValue = value; }
  void EnableApplyUpdate(bool enable) override { applyUpdateEnabled = enable; }
  void EnableBrowse(bool enable) override { browseEnabled = enable; }
  void ShowInstallPath(const std::string& path) override { shownInstallPath = path; }
  void ClearLog() override { ++logClears; }
  void SetDownloadDisplayFinished(bool finished) override { downloadDisplayFinished = finished; }
  MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                  MessageBoxStyle style) override {
    boxes.push_back({text, caption, style});
    return boxAnswer;
  }
  std::optional<std::string> AskForProductExecutable() override {
    ++executableQuestions;
    return executableAnswer;
  }
  bool IsCancelRequested() const override { return cancelRequested; }

  // Only the texts, for comparing sequences.
  std::vector<std::string> Texts() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& [kind, text] : texts) out.push_back(text);
    return out;
  }

  std::vector<std::pair<int, std::string>> texts;
  std::vector<Box> boxes;
  int workerFinished = 0;
  int patchesInstalled = 0;
  int gaugeRange = -1;
  int gaugeValue = -1;
  std::optional<bool> applyUpdateEnabled;
  std::optional<bool> browseEnabled;
  std::string shownInstallPath;
  int logClears = 0;
  std::optional<bool> downloadDisplayFinished;
  MessageBoxAnswer boxAnswer = MESSAGEBOX_ANSWER_OK;
  std::optional<std::string> executableAnswer;
  int executableQuestions = 0;
  bool cancelRequested = false;

 private:
  mutable std::mutex m_mutex;
};

class FakeSystemInfo : public OS::SystemInfo {
 public:
  std::optional<OS::WindowsVersion> GetWindowsVersion() override { return version; }
  bool LoadRuntimeLibrary(const std::string& name) override {
    loadedLibraries.push_back(name);
    return hasDirectX;
  }
  // Answers from freeSpace by the longest matching path prefix; no prefix
  // means the system cannot tell.
  bool GetFreeDiskSpace(const std::string& path, std::uint64_t* bytes) override {
    *bytes = 0;
    std::size_t best = 0;
    bool found = false;
    for (const auto& [prefix, free] : freeSpace) {
      if (path.starts_with(prefix) && prefix.size() >= best) {
        best = prefix.size();
        *bytes = free;
        found = true;
      }
    }
    return found;
  }

  std::optional<OS::WindowsVersion> version;
  bool hasDirectX = true;
  std::map<std::string, std::uint64_t> freeSpace;
  std::vector<std::string> loadedLibraries;
};

}  // namespace BramPatch

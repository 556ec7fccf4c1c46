// Helpers of the download loop's tests: a recorder of the posted texts, an
// installer that records the archives it is given, catalogue blocks.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/patch_callbacks.h"
#include "engine/patch_installer.h"
#include "foundation/paths_test_support.h"
#include "online/download_mode_task.h"

namespace online_test {

struct Posted {
  int m_kind;
  std::string m_text;
  bool operator==(const Posted&) const = default;
};

inline void PrintTo(const Posted& posted, std::ostream* out) {
  *out << "(" << posted.m_kind << ", \"" << posted.m_text << "\")";
}

// Registers a message sink that records every text; removes it on
// destruction. The worker's thread is the only poster in these tests.
class TextRecorder {
 public:
  TextRecorder() { SetKeepGoing({}); }
  // Registers `keep_going` as the engine's keep-going predicate as well.
  void SetKeepGoing(BramPatch::PatchKeepGoing keep_going) {
    BramPatch::SetPatchCallbacks({}, std::move(keep_going),
                                 [this](int kind, const std::string& text) {
                                   m_texts.push_back({kind, text});
                                 });
  }
  ~TextRecorder() { BramPatch::SetPatchCallbacks({}, {}, {}); }
  TextRecorder(const TextRecorder&) = delete;
  TextRecorder& operator=(const TextRecorder&) = delete;

  std::vector<Posted> m_texts;
};

// Keeps the bytes of every archive it is asked to install, with the progress
// the task showed at that moment; fails from the `m_fail_from`-th call on
// (counting from 1; 0: never). `m_on_install` (optional) runs first and may
// do the installation for real: its result is then returned.
class RecordingInstaller : public BramPatch::PatchInstaller {
 public:
  explicit RecordingInstaller(BramPatch::PatchDownloadTask& task) : m_task(task) {}

  BramResult InstallPatchArchive(const std::string& archivePath) override {
    m_paths.push_back(archivePath);
    m_archives.push_back(ReadTextFile(archivePath));
    m_progress.push_back(m_task.GetProgress());
    if (m_fail_from != 0 && static_cast<int>(m_paths.size()) >= m_fail_from) {
      return BRAMRESULT_BAD_FORMAT;
    }
    return m_on_install ? m_on_install(archivePath) : BRAMRESULT_OK;
  }
  void RebuildAssetDatabase() override { ++m_rebuilds; }

  std::vector<std::string> m_paths;
  std::vector<std::string> m_archives;
  std::vector<BramPatch::DownloadProgress> m_progress;
  int m_rebuilds = 0;
  int m_fail_from = 0;
  std::function<BramResult(const std::string&)> m_on_install;

 private:
  BramPatch::PatchDownloadTask& m_task;
};

// One block of "patches.txt", with the blank line that ends it.
inline std::string CatalogueBlock(const std::string& source, const std::string& target,
                                  const std::string& data_url) {
  return "source-version: " + source + "\ntarget-version: " + target +
         "\npatch-exe-url: " + source + "_to_" + target + ".exe\npatch-data-url: " + data_url +
         "\n\n";
}

}  // namespace online_test

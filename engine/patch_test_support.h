// Test helpers of the file patch engine: installations carrying the
// product's real tools, patch directories with deltas made by xdelta3, a
// minimal uninstaller log, and a recorder for the engine's hooks.
// REQUIRES: a test binary with OMVEL_BIN_DIR (the product's programs).
#pragma once

#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"
#include "engine/le_fields.h"
#include "engine/manifest.h"
#include "engine/patch_callbacks.h"
#include "engine/patch_data_paths.h"
#include "engine/uninstall_log.h"
#include "engine/windows_argument_quote.h"
#include "foundation/child_process.h"
#include "foundation/paths.h"
#include "kit/file_checksum.h"

namespace BramPatch {

// Runs a program to its end; returns its exit code (-1 when it did not
// start).
inline int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      std::string* output = nullptr) {
  std::string line;
  for (const std::string& argument : arguments) line += " " + QuoteWindowsArgument(argument);
  ChildProcess* child = StartChildProcess(program, line);
  if (child == nullptr) return -1;
  std::string text;
  while (ReadChildOutput(child, text)) {
  }
  WaitChild(child, CHILD_WAIT_INFINITE);
  const int code = ChildExitCode(child);
  delete child;
  if (output != nullptr) *output = text;
  return code;
}

inline std::string Md5Of(const std::string& path) {
  std::string checksum;
  EXPECT_TRUE(ComputeFileChecksum(path, &checksum)) << path;
  return checksum;
}

inline std::string Md5OfBytes(const std::string& bytes) {
  ScopedTempDir dir;
  WriteTextFile(dir.Sub("bytes"), bytes);
  return Md5Of(dir.Sub("bytes"));
}

// A VCDIFF delta from `source` to `target` as the patch author makes it.
inline void MakeDelta(const std::string& source, const std::string& target, const std::string& diff,
                      const std::string& application_header = "") {
  std::string output;
  ASSERT_EQ(
      RunProgram("xdelta3",
                 {"-e", "-f", "-S", "none", "-A=" + application_header, "-s", source, target, diff},
                 &output),
      0)
      << output;
}

// Copies the product's diff tool (and, when asked, its archive converter)
// into install_dir/bin.
inline void InstallProductTools(const std::string& install_dir, bool archive_tool) {
  namespace fs = std::filesystem;
  fs::create_directories(fs::path(install_dir) / PATCH_TOOL_FOLDER);
  fs::copy_file(fs::path(OMVEL_BIN_DIR) / PATCH_DIFF_TOOL,
                fs::path(install_dir) / PATCH_TOOL_FOLDER / PATCH_DIFF_TOOL,
                fs::copy_options::overwrite_existing);
  if (archive_tool) {
    fs::copy_file(fs::path(OMVEL_BIN_DIR) / PATCH_ARCHIVE_TOOL,
                  fs::path(install_dir) / PATCH_TOOL_FOLDER / PATCH_ARCHIVE_TOOL,
                  fs::copy_options::overwrite_existing);
  }
}

// A small valid uninstaller log: a header with a correct CRC and one block
// of `data_size` bytes of records (the last 28 are the final record).
inline std::string BuildUninstallLog(std::size_t data_size = 200) {
  auto crc = [](std::string_view data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  };
  std::string log(UNINSTALL_LOG_HEADER_SIZE, '\0');
  for (std::size_t i = 0; i < log.size(); ++i) log[i] = static_cast<char>(i * 5 + 1);
  StoreLe(&log, UNINSTALL_LOG_HEADER_RECORDS, 7, 4);
  StoreLe(&log, UNINSTALL_LOG_HEADER_END, UNINSTALL_LOG_HEADER_SIZE + 12 + data_size, 4);
  StoreLe(&log, UNINSTALL_LOG_HEADER_CRC, crc(std::string_view(log).substr(0, 444)), 4);
  const std::string data = TextBytes(data_size, 99);
  AppendLe(&log, data.size(), 4);
  AppendLe(&log, ~static_cast<std::uint32_t>(data.size()), 4);
  AppendLe(&log, crc(data), 4);
  return log + data;
}

// Manifest path ("sub\x.dll") -> tree key ("sub/x.dll").
inline std::string TreeKey(std::string relative_path) {
  NormalizeSeparators(relative_path);
  return relative_path;
}

// The files of a tree, without its directories.
inline Tree FilesOf(const Tree& tree) {
  Tree files;
  for (const auto& [path, contents] : tree) {
    if (contents != TREE_DIRECTORY) files[path] = contents;
  }
  return files;
}

// Paths of the tree ending in ".pbk".
inline std::vector<std::string> BackupsIn(const Tree& tree) {
  std::vector<std::string> backups;
  for (const auto& [path, contents] : tree) {
    if (path.ends_with(PATCH_BACKUP_SUFFIX)) backups.push_back(path);
  }
  return backups;
}

// Writes a patch directory entry by entry; Write() adds the manifests.
class PatchDirectoryBuilder {
 public:
  explicit PatchDirectoryBuilder(std::string patch_dir) : m_dir(std::move(patch_dir)) {
    std::filesystem::create_directories(m_dir);
  }

  void Add(const std::string& relative_path, const std::string& contents) {
    const std::string data = Place(AddedDataName(relative_path));
    WriteTextFile(data, contents);
    m_added.push_back({relative_path, Md5Of(data), ""});
  }

  void Delete(const std::string& relative_path) { m_deleted.push_back({relative_path, "", ""}); }

  // An ordinary patched file: data\<path>.diff.
  void Patch(const std::string& relative_path, const std::string& old_contents,
             const std::string& new_contents) {
    PatchWithDiff(relative_path, old_contents, new_contents, DiffDataName(relative_path), "");
  }

  // A ".ja" archive for the archive tool: data\...\<name>-diff.ja carrying
  // both checksums.
  void PatchArchive(const std::string& relative_path, const std::string& old_contents,
                    const std::string& new_contents) {
    PatchWithDiff(relative_path, old_contents, new_contents, ArchiveDiffDataName(relative_path),
                  "omvel-pak/" + Md5OfBytes(old_contents) + "/" + Md5OfBytes(new_contents));
  }

  // A patched entry with any checksums and diff bytes.
  void PatchRaw(const ManifestEntry& entry, const std::string& diff_name,
                const std::string& diff_bytes) {
    WriteTextFile(Place(diff_name), diff_bytes);
    m_patched.push_back(entry);
  }

  void Write() const {
    std::string error;
    ASSERT_TRUE(WriteManifest(JoinPath(m_dir, MANIFEST_ADDED), m_added, &error)) << error;
    ASSERT_TRUE(WriteManifest(JoinPath(m_dir, MANIFEST_DELETED), m_deleted, &error)) << error;
    ASSERT_TRUE(WriteManifest(JoinPath(m_dir, MANIFEST_PATCHED), m_patched, &error)) << error;
  }

  const std::string& dir() const { return m_dir; }

 private:
  std::string Place(const std::string& data_name) const {
    std::string path = JoinPath(m_dir, data_name);
    NormalizeSeparators(path);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    return path;
  }

  void PatchWithDiff(const std::string& relative_path, const std::string& old_contents,
                     const std::string& new_contents, const std::string& diff_name,
                     const std::string& application_header) {
    ScopedTempDir scratch;
    WriteTextFile(scratch.Sub("old"), old_contents);
    WriteTextFile(scratch.Sub("new"), new_contents);
    MakeDelta(scratch.Sub("old"), scratch.Sub("new"), Place(diff_name), application_header);
    m_patched.push_back({relative_path, Md5Of(scratch.Sub("new")), Md5Of(scratch.Sub("old"))});
  }

  std::string m_dir;
  std::vector<ManifestEntry> m_added;
  std::vector<ManifestEntry> m_deleted;
  std::vector<ManifestEntry> m_patched;
};

struct PostedText {
  int m_kind;
  std::string m_text;
  bool operator==(const PostedText&) const = default;
};

inline void PrintTo(const PostedText& posted, std::ostream* out) {
  *out << "(" << posted.m_kind << ", \"" << posted.m_text << "\")";
}

// Registers hooks that record every posted text and the progress range, and
// stop once `m_stopAfter` entries have been allowed; removes them again on
// destruction.
class HookRecorder {
 public:
  HookRecorder() {
    SetPatchCallbacks([this](std::uint64_t total) { m_ranges.push_back(total); },
                      [this] { return m_asked++ < m_stopAfter; },
                      [this](int kind, const std::string& text) {
                        m_texts.push_back({kind, text});
                      });
  }
  ~HookRecorder() { SetPatchCallbacks({}, {}, {}); }
  HookRecorder(const HookRecorder&) = delete;
  HookRecorder& operator=(const HookRecorder&) = delete;

  // The texts of one kind.
  std::vector<std::string> Of(int kind) const {
    std::vector<std::string> texts;
    for (const PostedText& posted : m_texts) {
      if (posted.m_kind == kind) texts.push_back(posted.m_text);
    }
    return texts;
  }

  std::vector<PostedText> m_texts;
  std::vector<std::uint64_t> m_ranges;
  std::size_t m_asked = 0;
  std::size_t m_stopAfter = static_cast<std::size_t>(-1);
};

}  // namespace BramPatch

#include "tools/patch_author.h"

#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <vector>

#include "engine/archive_writer.h"
#include "engine/manifest.h"
#include "engine/patch_data_paths.h"
#include "engine/temp_directory.h"
#include "engine/windows_argument_quote.h"
#include "foundation/child_process.h"
#include "foundation/path_guard.h"
#include "foundation/paths.h"
#include "foundation/utf.h"
#include "kit/file_checksum.h"
#include "platform/replace_file.h"
#include "text/fixed_texts.h"
#include "tools/patchkit_commands.h"

namespace BramPatch {

namespace {

namespace fs = std::filesystem;

// A build tree: its files (relative paths with '/') and folders.
struct BuildTree {
  std::map<std::string, std::uint64_t> m_files;  // path -> size
  std::set<std::string> m_folders;
};

std::string ManifestPath(std::string relative) {
  NormalizeSeparators(relative, '\\');
  return relative;
}

bool IsUtf8(const std::string& text) { return Utf16ToUtf8(Utf8ToUtf16(text)) == text; }

bool IsSkipped(const std::string& relative) {
  for (const char* name : AUTHOR_SKIPPED_FILES) {
    if (relative == name) return true;
  }
  return false;
}

// What the manifests and the archive cannot hold in a name, or "".
std::string NameProblem(const std::string& relative) {
  if (!IsUtf8(relative)) return "its name is not UTF-8";
  if (relative.find('\\') != std::string::npos) return "its name holds '\\'";
  if (relative.find_first_of("\r\n") != std::string::npos) return "its name holds a line break";
  return "";
}

bool Refuse(std::string* error, const std::string& path, const std::string& why) {
  *error = "cannot represent " + path + ": " + why;
  return false;
}

bool WalkBuild(const std::string& root, BuildTree* tree, std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    *error = "not a folder: " + root;
    return false;
  }
  fs::recursive_directory_iterator it(root, fs::directory_options::none, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::path& path = it->path();
    const std::string relative = path.lexically_relative(root).generic_string();
    const fs::file_status status = it->symlink_status(ec);
    if (ec) break;
    if (const std::string problem = NameProblem(relative); !problem.empty()) {
      return Refuse(error, path.string(), problem);
    }
    if (fs::is_directory(status)) {
      tree->m_folders.insert(relative);
      continue;
    }
    if (!fs::is_regular_file(status)) {
      return Refuse(error, path.string(), "not a regular file (links are not carried)");
    }
    if (IsSkipped(relative)) continue;
    if (relative.ends_with(PATCH_BACKUP_SUFFIX)) {
      return Refuse(error, path.string(), "names ending in .pbk are the patcher's backups");
    }
    std::string joined;
    std::string why;
    if (!ResolveSafePath(root, relative, "the build", &joined, &why)) {
      return Refuse(error, path.string(), why);
    }
    tree->m_files[relative] = it->file_size(ec);
    if (ec) break;
  }
  if (ec) {
    *error = "cannot read the build " + root + ": " + ec.message();
    return false;
  }
  return true;
}

// The archive reads a name without '.' in its last component as a folder,
// and any other name as a file: data below a folder with '.' cannot be
// carried, nor a file without one.
bool CheckCarried(const std::string& new_dir, const std::string& relative, bool file_itself,
                  std::string* error) {
  const std::string shown = (fs::path(new_dir) / relative).string();
  const std::size_t slash = relative.rfind('/');
  const std::string folders = slash == std::string::npos ? "" : relative.substr(0, slash);
  if (folders.find('.') != std::string::npos) {
    return Refuse(error, shown, "a folder name holds '.', so the patch archive cannot carry it");
  }
  if (file_itself && std::string(ManifestFileName(relative)).find('.') == std::string::npos) {
    return Refuse(error, shown, "a file without an extension in its name cannot be carried");
  }
  return true;
}

// A temporary folder that removes itself.
class Workspace {
 public:
  Workspace() {
    if (!MakeUniqueTempDirectory(&m_path)) m_path.clear();
  }
  ~Workspace() {
    if (!m_path.empty()) RemoveTree(m_path);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

bool MakeDiff(const std::string& source, std::uint64_t source_size, const std::string& target,
              const std::string& diff, const std::string& application_header, std::string* error) {
  std::string arguments = "-e -f -D -R -S none ";
  if (source_size > AUTHOR_DEFAULT_SOURCE_WINDOW) {
    arguments += "-B " + std::to_string(std::min(source_size, AUTHOR_MAX_SOURCE_WINDOW)) + " ";
  }
  arguments += QuoteWindowsArgument("-A=" + application_header) + " -s " +
               QuoteWindowsArgument(source) + " " + QuoteWindowsArgument(target) + " " +
               QuoteWindowsArgument(diff);
  ChildProcess* child = StartChildProcess(AUTHOR_XDELTA3, arguments);
  if (child == nullptr) {
    *error = std::string("cannot start ") + AUTHOR_XDELTA3;
    return false;
  }
  std::string output;
  while (ReadChildOutput(child, output)) {
  }
  WaitChild(child, CHILD_WAIT_INFINITE);
  const int code = ChildExitCode(child);
  delete child;
  if (code != 0) {
    while (!output.empty() && output.back() == '\n') output.pop_back();
    *error = std::string(AUTHOR_XDELTA3) + " failed (" + std::to_string(code) + ") for " + target +
             (output.empty() ? "" : ": " + output);
    return false;
  }
  return true;
}

bool Checksum(const std::string& path, std::string* checksum, std::string* error) {
  if (ComputeFileChecksum(path, checksum)) return true;
  *error = "cannot read " + path;
  return false;
}

bool IsInside(const std::string& path, const std::string& root) {
  std::error_code ec;
  const fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec);
  const fs::path base = fs::weakly_canonical(fs::absolute(root, ec), ec);
  const std::string a = full.generic_string();
  const std::string b = base.generic_string();
  return a == b || (a.size() > b.size() && a.compare(0, b.size(), b) == 0 && a[b.size()] == '/');
}

}  // namespace

bool MakePatchArchive(const std::string& old_dir, const std::string& new_dir,
                      const std::string& archive, std::ostream& out, std::string* error,
                      PatchAuthorCounts* counts_out) {
  if (IsInside(archive, old_dir) || IsInside(archive, new_dir)) {
    *error = "the archive " + archive + " must not lie inside either build";
    return false;
  }
  BuildTree old_tree;
  BuildTree new_tree;
  if (!WalkBuild(old_dir, &old_tree, error) || !WalkBuild(new_dir, &new_tree, error)) return false;

  // The add phase runs before the delete phase: a path cannot change
  // between file and folder in one patch.
  for (const auto& [relative, size] : new_tree.m_files) {
    if (old_tree.m_folders.count(relative) != 0) {
      return Refuse(error, (fs::path(new_dir) / relative).string(),
                    "a folder in the old build is a file in the new one");
    }
  }
  for (const auto& [relative, size] : old_tree.m_files) {
    if (new_tree.m_folders.count(relative) != 0) {
      return Refuse(error, (fs::path(new_dir) / relative).string(),
                    "a file in the old build is a folder in the new one");
    }
  }

  const bool archive_tool =
      new_tree.m_files.count(std::string(PATCH_TOOL_FOLDER) + "/" + PATCH_ARCHIVE_TOOL) != 0;
  Workspace workspace;
  if (workspace.path().empty()) {
    *error = "cannot create a temporary folder in " + TemporaryDirectory();
    return false;
  }

  PatchAuthorCounts counts;
  std::vector<ManifestEntry> added;
  std::vector<ManifestEntry> deleted;
  std::vector<ManifestEntry> patched;
  std::map<std::string, std::string> data_files;  // archive name -> file on disk
  int diff_number = 0;

  for (const auto& [relative, size] : new_tree.m_files) {
    const std::string new_path = (fs::path(new_dir) / relative).string();
    std::string new_md5;
    if (!Checksum(new_path, &new_md5, error)) return false;
    const auto old = old_tree.m_files.find(relative);
    if (old == old_tree.m_files.end()) {
      if (!CheckCarried(new_dir, relative, true, error)) return false;
      added.push_back({ManifestPath(relative), new_md5, ""});
      data_files[AddedDataName(ManifestPath(relative))] = new_path;
      out << FIXED_TO_BE_ADDED << ManifestPath(relative) << "\n";
      ++counts.m_added;
      continue;
    }
    const std::string old_path = (fs::path(old_dir) / relative).string();
    std::string old_md5;
    if (!Checksum(old_path, &old_md5, error)) return false;
    if (old_md5 == new_md5 && old->second == size) {
      ++counts.m_identical;
      continue;
    }
    if (!CheckCarried(new_dir, relative, false, error)) return false;
    const std::string manifest_path = ManifestPath(relative);
    const bool archive_diff = archive_tool && IsArchiveFileName(manifest_path);
    const std::string diff =
        JoinPath(workspace.path(), "diff" + std::to_string(++diff_number) + PATCH_DIFF_SUFFIX);
    out << FIXED_PATCHING_FILE << manifest_path << FIXED_ELLIPSIS << "\n";
    if (!MakeDiff(old_path, old->second, new_path, diff,
                  archive_diff ? "omvel-pak/" + old_md5 + "/" + new_md5 : "", error)) {
      return false;
    }
    patched.push_back({manifest_path, new_md5, old_md5});
    data_files[archive_diff ? ArchiveDiffDataName(manifest_path) : DiffDataName(manifest_path)] =
        diff;
    ++counts.m_patched;
  }
  for (const auto& [relative, size] : old_tree.m_files) {
    if (new_tree.m_files.count(relative) != 0) continue;
    std::string old_md5;
    if (!Checksum((fs::path(old_dir) / relative).string(), &old_md5, error)) return false;
    deleted.push_back({ManifestPath(relative), old_md5, ""});
    out << FIXED_TO_BE_DELETED << ManifestPath(relative) << "\n";
    ++counts.m_deleted;
  }

  // Manifests, then the archive: every folder of the data before what it
  // holds (a name sorts after each of its prefixes), the manifests last.
  const std::pair<const char*, const std::vector<ManifestEntry>*> manifests[] = {
      {MANIFEST_ADDED, &added}, {MANIFEST_DELETED, &deleted}, {MANIFEST_PATCHED, &patched}};
  for (const auto& [name, entries] : manifests) {
    const std::string path = JoinPath(workspace.path(), name);
    if (!WriteManifest(path, *entries, error)) return false;
  }
  std::set<std::string> folders = {PATCH_DATA_DIRECTORY};
  for (const auto& [name, path] : data_files) {
    for (std::size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1)) {
      folders.insert(name.substr(0, at));
    }
  }
  std::map<std::string, const std::string*> entries;  // name -> file, null for a folder
  for (const std::string& folder : folders) entries[folder] = nullptr;
  for (const auto& [name, path] : data_files) entries[name] = &path;

  const std::string partial = archive + ".partial";
  PatchArchiveWriter writer;
  bool written = writer.Create(partial);
  for (auto it = entries.begin(); written && it != entries.end(); ++it) {
    const std::string name = ".\\" + it->first;
    written = it->second == nullptr ? writer.AddDirectory(name)
                                    : writer.AddFileFromPath(name, *it->second);
  }
  for (const auto& [name, entries_unused] : manifests) {
    if (!written) break;
    written = writer.AddFileFromPath(std::string(".\\") + name, JoinPath(workspace.path(), name));
  }
  written = writer.Finish() && written;
  if (!written || !ReplaceFileAtomically(partial, archive)) {
    *error = written ? "cannot write " + archive : writer.GetError();
    DeletePath(partial);
    return false;
  }
  out << "wrote " << archive << ": " << counts.m_added << " added, " << counts.m_deleted
      << " deleted, " << counts.m_patched << " patched, " << counts.m_identical << " identical\n";
  if (counts_out != nullptr) *counts_out = counts;
  return true;
}

int RunMake(const std::string& old_dir, const std::string& new_dir, const std::string& archive,
            std::ostream& out, std::string* error) {
  return MakePatchArchive(old_dir, new_dir, archive, out, error) ? PATCHKIT_EXIT_OK
                                                                 : PATCHKIT_EXIT_FAILURE;
}

}  // namespace BramPatch

// The three manifests at the root of an unpacked patch archive, which tell
// the file patch engine what to add, delete and patch. Format:
// docs/formats/manifests.md.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace BramPatch {

constexpr const char* MANIFEST_ADDED = "addedFiles.txt";
constexpr const char* MANIFEST_DELETED = "deletedFiles.txt";
constexpr const char* MANIFEST_PATCHED = "patchedFiles.txt";

// One entry: three consecutive lines. m_path is relative to the installation
// directory with '\' between components, exactly as stored (not validated).
// For the added list m_first is the file's MD5 and m_second is empty; for
// the patched list m_first is the MD5 after patching (target) and m_second
// the MD5 before (source); the deleted list uses neither.
struct ManifestEntry {
  std::string m_path;
  std::string m_first;
  std::string m_second;

  bool operator==(const ManifestEntry&) const = default;
};

// Splits manifest text into lines. CR LF, a lone LF and a lone CR each end a
// line; a last line without a terminator counts, an empty text has no
// lines. A UTF-8 byte-order mark at the start is dropped and malformed UTF-8
// becomes U+FFFD.
std::vector<std::string> SplitManifestLines(std::string_view text);

// Reads the manifest file at `path` into *entries (file order). False when
// the file cannot be read, or when its line count is not a multiple of three
// (an entry is cut short); *error then holds the user-facing text (for an
// unreadable file exactly "Could not open: <path> for reading. The file
// might not be present") and *entries is empty.
bool ReadManifest(const std::string& path, std::vector<ManifestEntry>* entries, std::string* error);

// The relative paths of the added list for the uninstaller log: lines 0, 3,
// 6, ... of "addedFiles.txt" in `patch_dir`. False with the "Could not
// open: " text in *error (and *paths empty) when the file cannot be read.
bool ReadAddedFileList(const std::string& patch_dir, std::vector<std::string>* paths,
                       std::string* error);

// Checks every entry's path with the path validator against `root`. False
// at the first unsafe one, with *error naming it, the manifest and its line.
bool ValidateManifestPaths(const std::string& root, const std::string& manifest_path,
                           const std::vector<ManifestEntry>& entries, std::string* error);

// The last-file rule of the patched list: the first entry whose path holds
// `last_file_name` as a substring (case-sensitive) is moved behind all the
// others; later entries that also hold it stay where they are. An empty
// name moves nothing.
void MoveLastFileToEnd(std::vector<ManifestEntry>* entries, std::string_view last_file_name);

// Writes `entries` to `path` (created or truncated) as UTF-8 lines ended by
// CR LF, three per entry. False with *error set when a field holds a line
// terminator (it could not be read back) or the file cannot be written; a
// half-written file is removed.
bool WriteManifest(const std::string& path, const std::vector<ManifestEntry>& entries,
                   std::string* error);

}  // namespace BramPatch

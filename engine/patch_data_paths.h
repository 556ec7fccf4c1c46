// Names shared by the file patch engine and the patch author: where an
// entry's data lies inside a patch directory, the backup suffix, the two
// tools. Relative names keep the manifests' '\' separators. Format:
// docs/formats/manifests.md.
#pragma once

#include <string>
#include <string_view>

namespace BramPatch {

constexpr const char* PATCH_DATA_DIRECTORY = "data";
constexpr const char* PATCH_BACKUP_SUFFIX = ".pbk";
constexpr const char* PATCH_DIFF_SUFFIX = ".diff";
constexpr const char* PATCH_ARCHIVE_SUFFIX = ".ja";
constexpr const char* PATCH_DIFF_TOOL = "jpatchl-w32.exe";
constexpr const char* PATCH_ARCHIVE_TOOL = "PakConverter.exe";
// The tools lie in this folder of the installation.
constexpr const char* PATCH_TOOL_FOLDER = "bin";
// The entry of the patched list that is patched last (the patcher's own
// launcher).
constexpr const char* PATCH_LAST_FILE_NAME = "BramLauncher.exe";

// The last component of a manifest path (after the last '\' or '/').
std::string_view ManifestFileName(std::string_view relative_path);

// True when the file name's first ".ja" stands at its very end ("Base.ja";
// not "a.jar" nor "x.ja.ja"): such an entry is patched by the archive tool
// when the installation has one.
bool IsArchiveFileName(std::string_view relative_path);

// "data\" + the path: an added file's new contents.
std::string AddedDataName(std::string_view relative_path);
// "data\" + the path + ".diff": the diff of an ordinary patched file.
std::string DiffDataName(std::string_view relative_path);
// "data\", the path's folders, its file name without the extension, "-diff.",
// the extension: bin\Base.ja -> data\bin\Base-diff.ja.
std::string ArchiveDiffDataName(std::string_view relative_path);

}  // namespace BramPatch

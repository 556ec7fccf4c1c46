#include "engine/patch_data_paths.h"

#include "foundation/paths.h"

namespace BramPatch {

namespace {

std::string DataName(std::string_view relative_path) {
  return std::string(PATCH_DATA_DIRECTORY) + "\\" + std::string(relative_path);
}

}  // namespace

std::string_view ManifestFileName(std::string_view relative_path) {
  const std::size_t separator = relative_path.find_last_of("/\\");
  return separator == std::string_view::npos ? relative_path : relative_path.substr(separator + 1);
}

bool IsArchiveFileName(std::string_view relative_path) {
  const std::string_view name = ManifestFileName(relative_path);
  const std::string_view suffix = PATCH_ARCHIVE_SUFFIX;
  const std::size_t first = name.find(suffix);
  return first != std::string_view::npos && first + suffix.size() == name.size();
}

std::string AddedDataName(std::string_view relative_path) { return DataName(relative_path); }

std::string DiffDataName(std::string_view relative_path) {
  return DataName(relative_path) + PATCH_DIFF_SUFFIX;
}

std::string ArchiveDiffDataName(std::string_view relative_path) {
  const std::string_view name = ManifestFileName(relative_path);
  const std::string_view folders = relative_path.substr(0, relative_path.size() - name.size());
  return DataName(folders) + StripExtension(name) + "-diff." + GetExtension(name);
}

}  // namespace BramPatch

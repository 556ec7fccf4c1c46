#include "tools/patchkit_release.h"

#include <filesystem>
#include <fstream>
#include <ostream>
#include <set>

#include "engine/catalogue.h"
#include "foundation/paths.h"
#include "tools/patch_author.h"
#include "tools/patchkit_commands.h"

namespace BramPatch {
namespace {

namespace fs = std::filesystem;

constexpr const char* RELEASE_ARCHIVE_SUFFIX = ".zip";
constexpr const char* RELEASE_EXE_SUFFIX = ".exe";

bool IsBuildCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

std::string CatalogueBlock(const std::string& source, const std::string& target) {
  const std::string patch = source + "_to_" + target;
  return std::string(CATALOGUE_KEY_SOURCE) + ": " + source + "\n" + CATALOGUE_KEY_TARGET + ": " +
         target + "\n" + CATALOGUE_KEY_EXE_URL + ": " + patch + RELEASE_EXE_SUFFIX + "\n" +
         CATALOGUE_KEY_DATA_URL + ": " + patch + RELEASE_ARCHIVE_SUFFIX + "\n";
}

// Written beside its final name first, so a server never hands out half a
// catalogue.
bool WriteCatalogue(const std::string& path, const std::string& text, std::string* error) {
  const std::string temporary = path + ".new";
  std::error_code code;
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
      fs::remove(temporary, code);
      *error = "cannot write " + temporary;
      return false;
    }
  }
  fs::rename(temporary, path, code);
  if (code) {
    *error = "cannot write " + path + ": " + code.message();
    fs::remove(temporary, code);
    return false;
  }
  return true;
}

}  // namespace

std::string ReleaseBuildName(const std::string& tree) {
  std::string trimmed = tree;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const std::string build = fs::path(trimmed).filename().string();
  if (build.empty() || build == "." || build == "..") return "";
  for (char c : build) {
    if (!IsBuildCharacter(c)) return "";
  }
  return build;
}

int RunRelease(const std::vector<std::string>& builds, const std::string& out_dir,
               std::ostream& out, std::string* error) {
  auto failed = [error](const std::string& text) {
    *error = text;
    return PATCHKIT_EXIT_FAILURE;
  };
  if (builds.size() < 2) return failed("a release needs at least two builds, oldest first");
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (const std::string& tree : builds) {
    if (!IsDirectory(tree)) return failed("not a folder: " + tree);
    const std::string name = ReleaseBuildName(tree);
    if (name.empty()) {
      return failed("the folder " + tree +
                    " is not named after a build (letters, digits, '.', '_' and '-' only)");
    }
    // A build twice would make the catalogue lead back to it.
    if (!seen.insert(name).second) return failed("the build " + name + " is given twice");
    names.push_back(name);
  }
  if (!MakeDirectory(out_dir)) return failed("cannot create the folder " + out_dir);

  std::string catalogue;
  std::string summary;
  for (size_t i = 0; i + 1 < builds.size(); ++i) {
    const std::string patch = names[i] + "_to_" + names[i + 1];
    const std::string archive = JoinPath(out_dir, patch + RELEASE_ARCHIVE_SUFFIX);
    PatchAuthorCounts counts;
    std::string reason;
    if (!MakePatchArchive(builds[i], builds[i + 1], archive, out, &reason, &counts)) {
      return failed(patch + ": " + reason);
    }
    std::uint64_t bytes = 0;
    QueryFileSize(archive, &bytes);
    summary += archive + ": " + std::to_string(counts.m_added) + " added, " +
               std::to_string(counts.m_deleted) + " deleted, " + std::to_string(counts.m_patched) +
               " patched, " + std::to_string(bytes) + " bytes\n";
    if (!catalogue.empty()) catalogue += "\n";
    catalogue += CatalogueBlock(names[i], names[i + 1]);
  }
  const std::string catalogue_path = JoinPath(out_dir, CATALOGUE_FILE_NAME);
  std::string reason;
  if (!WriteCatalogue(catalogue_path, catalogue, &reason)) return failed(reason);
  out << summary << catalogue_path << ": " << builds.size() - 1
      << (builds.size() == 2 ? " patch" : " patches") << " from " << names.front() << " to "
      << names.back() << "\n";
  return PATCHKIT_EXIT_OK;
}

}  // namespace BramPatch

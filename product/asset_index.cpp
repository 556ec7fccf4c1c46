#include "product/asset_index.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "foundation/paths.h"
#include "kit/file_checksum.h"
#include "platform/replace_file.h"

namespace BramPatch {

namespace fs = std::filesystem;

namespace {

// Written beside the database and renamed over it; only the owner of the
// database writes it, so one fixed name suffices.
constexpr const char* ASSET_DATABASE_TEMP_NAME = "assets.tdx.new";

}  // namespace

bool ListAssetFiles(const std::string& install_root, std::vector<AssetEntry>* entries,
                    std::string* error) {
  entries->clear();
  const fs::path root(install_root);
  const fs::path folder = root / ASSET_FOLDER_NAME;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(folder, ec))) return true;
  fs::recursive_directory_iterator it(folder, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::file_status status = it->symlink_status(ec);
    if (ec) break;
    if (!fs::is_regular_file(status)) continue;
    AssetEntry entry;
    entry.m_size = it->file_size(ec);
    if (ec) break;
    entry.m_path = it->path().lexically_relative(root).generic_string();
    NormalizeSeparators(entry.m_path, '\\');
    entries->push_back(std::move(entry));
  }
  if (ec) {
    *error = "cannot read the asset folder " + folder.string() + ": " + ec.message();
    entries->clear();
    return false;
  }
  std::sort(entries->begin(), entries->end(), [](const AssetEntry& a, const AssetEntry& b) {
    return a.m_path < b.m_path;  // std::string compares as unsigned bytes
  });
  return true;
}

bool ComputeAssetChecksums(const std::string& install_root, std::vector<AssetEntry>* entries,
                           std::string* error) {
  for (AssetEntry& entry : *entries) {
    const std::string path = JoinPath(install_root, entry.m_path);
    if (!ComputeFileChecksum(path, &entry.m_checksum)) {
      *error = "cannot read the asset file " + path;
      return false;
    }
  }
  return true;
}

std::string FormatAssetIndex(const std::vector<AssetEntry>& entries) {
  std::string text = std::string(ASSET_INDEX_FIRST_LINE) + "\n";
  for (const AssetEntry& entry : entries) {
    text += entry.m_path + "\t" + std::to_string(entry.m_size) + "\t" + entry.m_checksum + "\n";
  }
  return text;
}

bool WriteAssetDatabase(const std::string& install_root, const std::string& text,
                        std::string* error) {
  const std::string temp = JoinPath(install_root, ASSET_DATABASE_TEMP_NAME);
  const std::string target = JoinPath(install_root, ASSET_DATABASE_NAME);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      DeletePath(temp);
      *error = "cannot write " + temp;
      return false;
    }
  }
  if (!ReplaceFileAtomically(temp, target)) {
    const std::string reason = std::strerror(errno);
    DeletePath(temp);
    *error = "cannot replace " + target + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace BramPatch

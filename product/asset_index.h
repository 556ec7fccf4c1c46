// The product's asset database as its utility rebuilds it: an index of the
// installation's asset files, one line per file with its size and MD5
// (docs/formats/asset-index.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace BramPatch {

constexpr const char* ASSET_DATABASE_NAME = "assets.tdx";
constexpr const char* ASSET_FOLDER_NAME = "assets";
constexpr const char* ASSET_INDEX_FIRST_LINE = "KestroAssetIndex 1";

struct AssetEntry {
  std::string m_path;  // relative to the installation, '\' separators
  std::uint64_t m_size = 0;
  std::string m_checksum;  // 32 lowercase hex digits once computed
};

// Every regular file below install_root/assets, sorted by m_path as bytes,
// with sizes and without checksums. Links are neither followed nor listed.
// A missing assets folder gives an empty list. False, with *error set, when
// a folder cannot be read.
bool ListAssetFiles(const std::string& install_root, std::vector<AssetEntry>* entries,
                    std::string* error);

// Fills the checksum of every entry. False, with *error naming the file,
// when one cannot be read.
bool ComputeAssetChecksums(const std::string& install_root, std::vector<AssetEntry>* entries,
                           std::string* error);

// The index text: the first line, then "path<TAB>size<TAB>md5" per entry,
// every line ended by '\n'.
std::string FormatAssetIndex(const std::vector<AssetEntry>& entries);

// Replaces install_root/assets.tdx with `text` in one step: written beside
// it, made durable, renamed over it. On failure the old database is left as
// it was, no temporary file stays, and *error says why.
bool WriteAssetDatabase(const std::string& install_root, const std::string& text,
                        std::string* error);

}  // namespace BramPatch

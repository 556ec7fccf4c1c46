// The patch catalogue "patches.txt" that each patch server publishes at its
// base URL: which patch leads from a source build to a target build, and
// where its archive is. Format: docs/formats/patch-catalogue.md.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class BramDataBuffer;

namespace BramPatch {

constexpr const char* CATALOGUE_FILE_NAME = "patches.txt";

// The largest catalogue accepted, in bytes. A real catalogue holds a few
// hundred bytes per build; anything this large is not one.
constexpr std::uint64_t CATALOGUE_MAX_SIZE = 4 * 1024 * 1024;

// The four keys a block must hold (lowercase, as compared).
constexpr const char* CATALOGUE_KEY_SOURCE = "source-version";
constexpr const char* CATALOGUE_KEY_TARGET = "target-version";
constexpr const char* CATALOGUE_KEY_EXE_URL = "patch-exe-url";
constexpr const char* CATALOGUE_KEY_DATA_URL = "patch-data-url";

// One accepted block, stored under its source version.
struct CatalogueEntry {
  std::string m_target_version;
  std::string m_patch_exe_url;   // stored as given; not used for downloads
  std::string m_patch_data_url;  // absolute: relative ones are joined to the server URL

  bool operator==(const CatalogueEntry&) const = default;
};

class PatchCatalogue {
 public:
  PatchCatalogue() = default;
  PatchCatalogue(const PatchCatalogue&) = delete;
  PatchCatalogue& operator=(const PatchCatalogue&) = delete;

  // Parses the catalogue from `buffer`'s position to its end and stores every
  // valid block; earlier entries stay unless a block of the same source
  // version replaces them. `server_url` is the base URL the file came from
  // (relative data URLs are resolved against it; empty rejects them). True
  // when at least one block was accepted. A catalogue larger than
  // CATALOGUE_MAX_SIZE is refused whole (false, nothing stored, one
  // diagnostic line). Posts nothing to the user.
  bool ParseCatalogue(BramDataBuffer& buffer, const std::string& server_url);

  // One block, read from `block`'s position; true when it was valid and
  // stored.
  bool ParseCatalogueBlock(BramDataBuffer& block, const std::string& server_url);

  // Clears *values, then fills it with key -> value of every non-empty line
  // of `block` (keys lowercased, blanks trimmed, one pair of enclosing
  // quotes dropped; a later key replaces an earlier one). False when some
  // non-empty line had no ':' (all lines are read all the same).
  static bool ReadKeyValueBlock(BramDataBuffer& block, std::map<std::string, std::string>* values);

  // The entry stored under exactly `source_version` (byte for byte), or
  // null. The pointer stays valid until the next parse.
  const CatalogueEntry* FindPatch(const std::string& source_version) const;

  const std::map<std::string, CatalogueEntry>& GetEntries() const { return m_entries; }

 private:
  std::map<std::string, CatalogueEntry> m_entries;
};

}  // namespace BramPatch

#include "engine/catalogue.h"

#include <string_view>

#include "foundation/ascii_case.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "kit/buffer_line_reader.h"
#include "kit/data_buffer_memory_dynamic.h"

namespace BramPatch {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Versions name the temporary archive file (source + "_to_" + target), so a
// version that could step out of the temporary directory or cut the name
// short is no version.
bool IsSafeVersion(std::string_view version) {
  for (char c : version) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

std::string Lookup(const std::map<std::string, std::string>& values, const char* key) {
  auto it = values.find(key);
  return it == values.end() ? std::string() : it->second;
}

}  // namespace

bool PatchCatalogue::ParseCatalogue(BramDataBuffer& buffer, const std::string& server_url) {
  const std::uint64_t size = buffer.GetSize();
  const std::uint64_t position = buffer.GetPosition();
  if (size > position && size - position > CATALOGUE_MAX_SIZE) {
    LogPrintf("PatchCatalogue::ParseCatalogue> catalogue of %llu bytes is larger than %llu bytes",
              static_cast<unsigned long long>(size - position),
              static_cast<unsigned long long>(CATALOGUE_MAX_SIZE));
    return false;
  }

  BufferLineReader reader(buffer);
  std::string line;
  bool accepted = false;
  for (;;) {
    do {
      reader.ReadLine(&line);
    } while (line.empty() && reader.GetEndOfData() == BRAMRESULT_OK);
    if (line.empty()) return accepted;  // the end came before another block

    BramDataBufferMemoryDynamic block;
    bool at_end = reader.GetEndOfData() != BRAMRESULT_OK;
    for (;;) {
      line.push_back('\n');
      if (block.WriteData(line.data(), static_cast<std::uint32_t>(line.size())) != BRAMRESULT_OK) {
        return accepted;  // out of memory: what was accepted so far stays
      }
      if (at_end) break;
      reader.ReadLine(&line);
      at_end = reader.GetEndOfData() != BRAMRESULT_OK;
      if (line.empty()) break;
    }
    block.SetPosition(0);
    if (ParseCatalogueBlock(block, server_url)) accepted = true;
    if (at_end) return accepted;
  }
}

bool PatchCatalogue::ParseCatalogueBlock(BramDataBuffer& block, const std::string& server_url) {
  std::map<std::string, std::string> values;
  if (!ReadKeyValueBlock(block, &values)) return false;

  const std::string source = Lookup(values, CATALOGUE_KEY_SOURCE);
  CatalogueEntry entry{Lookup(values, CATALOGUE_KEY_TARGET), Lookup(values, CATALOGUE_KEY_EXE_URL),
                       Lookup(values, CATALOGUE_KEY_DATA_URL)};
  if (source.empty() || entry.m_target_version.empty() || entry.m_patch_exe_url.empty() ||
      entry.m_patch_data_url.empty()) {
    return false;
  }
  if (!IsSafeVersion(source) || !IsSafeVersion(entry.m_target_version)) return false;

  const std::string_view data_url = entry.m_patch_data_url;
  if (!StartsWithNoCase(data_url, "ftp://") && !StartsWithNoCase(data_url, "http://")) {
    if (server_url.empty()) return false;
    entry.m_patch_data_url = JoinPath(server_url, data_url);
  }
  m_entries[source] = std::move(entry);
  return true;
}

bool PatchCatalogue::ReadKeyValueBlock(BramDataBuffer& block,
                                       std::map<std::string, std::string>* values) {
  values->clear();
  BufferLineReader reader(block);
  std::string line;
  bool well_formed = true;
  do {
    reader.ReadLine(&line);
    const std::string_view text = TrimBlanks(line);
    if (text.empty()) continue;
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
      well_formed = false;
      continue;
    }
    std::string key(TrimBlanks(text.substr(0, colon)));
    for (char& c : key) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    std::string_view value = TrimBlanks(text.substr(colon + 1));
    if (value.size() > 1 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    (*values)[key] = std::string(value);
  } while (reader.GetEndOfData() == BRAMRESULT_OK);
  return well_formed;
}

const CatalogueEntry* PatchCatalogue::FindPatch(const std::string& source_version) const {
  auto it = m_entries.find(source_version);
  return it == m_entries.end() ? nullptr : &it->second;
}

}  // namespace BramPatch

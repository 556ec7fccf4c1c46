#include "foundation/registry_document.h"

#include "foundation/registry_names.h"

namespace {

// True when `key` equals or lies below `ancestor`.
bool StartsWith(const RegistryNames& key, const RegistryNames& ancestor) {
  if (key.size() < ancestor.size()) return false;
  for (std::size_t i = 0; i < ancestor.size(); ++i) {
    if (!RegistryNamesEqual(key[i], ancestor[i])) return false;
  }
  return true;
}

bool SameKey(const RegistryNames& a, const RegistryNames& b) {
  return a.size() == b.size() && StartsWith(a, b);
}

}  // namespace

bool RegistryDocument::KeyExists(const RegistryNames& key) const {
  if (key.empty()) return true;
  for (const RegistrySection& section : sections) {
    if (StartsWith(section.key, key)) return true;
  }
  return false;
}

RegistryNames RegistryDocument::StoredKey(const RegistryNames& key) const {
  RegistryNames stored = key;
  // The first section below each prefix fixes that prefix's case.
  for (std::size_t depth = 0; depth < key.size(); ++depth) {
    const RegistryNames prefix(stored.begin(), stored.begin() + depth + 1);
    for (const RegistrySection& section : sections) {
      if (StartsWith(section.key, prefix)) {
        stored[depth] = section.key[depth];
        break;
      }
    }
  }
  return stored;
}

RegistryNames RegistryDocument::Subkeys(const RegistryNames& key) const {
  RegistryNames names;
  for (const RegistrySection& section : sections) {
    if (section.key.size() <= key.size() || !StartsWith(section.key, key)) continue;
    const std::string& child = section.key[key.size()];
    bool known = false;
    for (const std::string& name : names) known = known || RegistryNamesEqual(name, child);
    if (!known) names.push_back(child);
  }
  return names;
}

int RegistryDocument::FindSection(const RegistryNames& key) const {
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (SameKey(sections[i].key, key)) return static_cast<int>(i);
  }
  return -1;
}

const RegistryValue* RegistryDocument::FindValue(const RegistryNames& key,
                                                 std::string_view name) const {
  const int index = FindSection(key);
  if (index < 0) return nullptr;
  for (const RegistryEntry& entry : sections[index].entries) {
    if (entry.comment.empty() && RegistryNamesEqual(entry.value.name, name)) return &entry.value;
  }
  return nullptr;
}

RegistrySection& RegistryDocument::SectionFor(const RegistryNames& key) {
  const int existing = FindSection(key);
  if (existing >= 0) return sections[existing];

  std::size_t position = sections.size();
  int after_parent = -1;
  const RegistryNames parent(key.begin(), key.end() - (key.empty() ? 0 : 1));
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (StartsWith(sections[i].key, key)) {
      position = i;  // before the first key below it
      after_parent = -1;
      break;
    }
    if (!key.empty() && StartsWith(sections[i].key, parent)) after_parent = static_cast<int>(i);
  }
  if (after_parent >= 0) position = static_cast<std::size_t>(after_parent) + 1;

  RegistrySection section;
  section.key = StoredKey(key);
  return *sections.insert(sections.begin() + static_cast<std::ptrdiff_t>(position),
                          std::move(section));
}

void RegistryDocument::AddKey(const RegistryNames& key) {
  if (!KeyExists(key)) SectionFor(key);
}

void RegistryDocument::SetValue(const RegistryNames& key, const RegistryValue& value) {
  RegistrySection& section = SectionFor(key);
  for (RegistryEntry& entry : section.entries) {
    if (entry.comment.empty() && RegistryNamesEqual(entry.value.name, value.name)) {
      entry.value.type = value.type;
      entry.value.data = value.data;
      entry.value.dword = value.dword;
      return;
    }
  }
  RegistryEntry entry;
  entry.value = value;
  section.entries.push_back(std::move(entry));
}

bool RegistryDocument::DeleteValue(const RegistryNames& key, std::string_view name) {
  const int index = FindSection(key);
  if (index < 0) return false;
  std::vector<RegistryEntry>& entries = sections[index].entries;
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (it->comment.empty() && RegistryNamesEqual(it->value.name, name)) {
      entries.erase(it);
      return true;
    }
  }
  return false;
}

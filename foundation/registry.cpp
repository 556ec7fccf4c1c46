#include "foundation/registry.h"

#include "foundation/registry_hive_file.h"
#include "foundation/registry_names.h"

namespace {

bool WantsWrite(unsigned access) { return (access & REGISTRY_ACCESS_WRITE) != 0; }

RegistryNames Below(const RegistryNames& key, const RegistryNames& names) {
  RegistryNames full = key;
  full.insert(full.end(), names.begin(), names.end());
  return full;
}

// The size a value needs in a Windows buffer: UTF-16 with a terminating NUL.
bool FitsBuffer(const std::string& text, std::size_t buffer_bytes) {
  const std::size_t units = RegistryUtf16Length(text) + 1;
  return buffer_bytes == REGISTRY_UNLIMITED || units <= buffer_bytes / 2;
}

}  // namespace

RegistryKey RegistryKey::LocalMachine() { return LocalMachine(MachineRegistryFile()); }

RegistryKey RegistryKey::LocalMachine(const std::string& file) {
  return RegistryKey(file, {}, REGISTRY_ACCESS_ALL);
}

std::string RegistryKey::Path() const { return JoinRegistryPath(m_key); }

RegistryResult RegistryKey::Load(unsigned needed, RegistryDocument* document) const {
  if (!m_open) return REGISTRY_INVALID_HANDLE;
  if ((m_access & needed) != needed) return REGISTRY_ACCESS_DENIED;
  const RegistryResult result = LoadRegistryHive(m_file, document);
  if (result != REGISTRY_OK) return result;
  return document->KeyExists(m_key) ? REGISTRY_OK : REGISTRY_KEY_DELETED;
}

RegistryResult RegistryKey::OpenKey(std::string_view subkey, unsigned access,
                                    RegistryKey* result) const {
  // *result is assigned last, so that it may be this key itself.
  RegistryKey opened;
  const RegistryResult outcome = Open(subkey, access, &opened);
  *result = std::move(opened);
  return outcome;
}

RegistryResult RegistryKey::Open(std::string_view subkey, unsigned access,
                                 RegistryKey* opened) const {
  RegistryNames names;
  if (!m_open) return REGISTRY_INVALID_HANDLE;
  if (!SplitRegistryPath(subkey, false, &names)) return REGISTRY_INVALID_PARAMETER;
  RegistryDocument document;
  const RegistryResult loaded = Load(0, &document);
  if (loaded != REGISTRY_OK) return loaded;
  const RegistryNames full = Below(m_key, names);
  if (!document.KeyExists(full)) return REGISTRY_NOT_FOUND;
  if (WantsWrite(access) && !MayChangeRegistryHive(m_file)) return REGISTRY_ACCESS_DENIED;
  *opened = RegistryKey(m_file, document.StoredKey(full), access);
  return REGISTRY_OK;
}

RegistryResult RegistryKey::CreateKey(std::string_view subkey, unsigned access, RegistryKey* result,
                                      bool* created) const {
  RegistryKey opened;
  bool added = false;
  const RegistryResult outcome = Create(subkey, access, &opened, &added);
  *result = std::move(opened);
  if (created != nullptr) *created = added;
  return outcome;
}

RegistryResult RegistryKey::Create(std::string_view subkey, unsigned access, RegistryKey* opened,
                                   bool* added) const {
  RegistryNames names;
  if (!m_open) return REGISTRY_INVALID_HANDLE;
  if (!SplitRegistryPath(subkey, true, &names)) return REGISTRY_INVALID_PARAMETER;
  const RegistryNames full = Below(m_key, names);

  RegistryResult outcome = Open(subkey, access, opened);
  if (outcome != REGISTRY_NOT_FOUND) return outcome;
  if ((m_access & REGISTRY_ACCESS_CREATE_SUBKEY) == 0) return REGISTRY_ACCESS_DENIED;

  RegistryNames stored;
  outcome = UpdateRegistryHive(m_file, [&](RegistryDocument& document, bool* changed) {
    if (!document.KeyExists(m_key)) return REGISTRY_KEY_DELETED;
    // Another process may have created it since Open looked.
    *added = *changed = !document.KeyExists(full);
    document.AddKey(full);
    stored = document.StoredKey(full);
    return REGISTRY_OK;
  });
  if (outcome != REGISTRY_OK) {
    *added = false;
    return outcome;
  }
  *opened = RegistryKey(m_file, stored, access);
  return REGISTRY_OK;
}

RegistryResult RegistryKey::EnumerateSubkey(std::uint32_t index, std::size_t capacity,
                                            std::string* name) const {
  name->clear();
  RegistryDocument document;
  const RegistryResult loaded = Load(REGISTRY_ACCESS_ENUMERATE, &document);
  if (loaded != REGISTRY_OK) return loaded;
  const RegistryNames subkeys = document.Subkeys(m_key);
  if (index >= subkeys.size()) return REGISTRY_NO_MORE_ITEMS;
  if (RegistryUtf16Length(subkeys[index]) + 1 > capacity) return REGISTRY_MORE_DATA;
  *name = subkeys[index];
  return REGISTRY_OK;
}

RegistryResult RegistryKey::QueryStringValue(std::string_view name, std::size_t buffer_bytes,
                                             std::string* value) const {
  value->clear();
  RegistryDocument document;
  const RegistryResult loaded = Load(REGISTRY_ACCESS_QUERY, &document);
  if (loaded != REGISTRY_OK) return loaded;
  const RegistryValue* found = document.FindValue(m_key, name);
  if (found == nullptr) return REGISTRY_NOT_FOUND;
  if (found->type != RegistryValueType::STRING) return REGISTRY_WRONG_TYPE;
  if (!FitsBuffer(found->data, buffer_bytes)) return REGISTRY_MORE_DATA;
  *value = found->data;
  return REGISTRY_OK;
}

RegistryResult RegistryKey::QueryDwordValue(std::string_view name, std::uint32_t* value) const {
  *value = 0;
  RegistryDocument document;
  const RegistryResult loaded = Load(REGISTRY_ACCESS_QUERY, &document);
  if (loaded != REGISTRY_OK) return loaded;
  const RegistryValue* found = document.FindValue(m_key, name);
  if (found == nullptr) return REGISTRY_NOT_FOUND;
  if (found->type != RegistryValueType::DWORD) return REGISTRY_WRONG_TYPE;
  *value = found->dword;
  return REGISTRY_OK;
}

RegistryResult RegistryKey::SetValue(const RegistryValue& value) const {
  if (!m_open) return REGISTRY_INVALID_HANDLE;
  if ((m_access & REGISTRY_ACCESS_SET) == 0) return REGISTRY_ACCESS_DENIED;
  if (!IsRegistryText(value.name) || !IsRegistryText(value.data)) {
    return REGISTRY_INVALID_PARAMETER;
  }
  return UpdateRegistryHive(m_file, [&](RegistryDocument& document, bool* changed) {
    if (!document.KeyExists(m_key)) return REGISTRY_KEY_DELETED;
    const RegistryValue* old = document.FindValue(m_key, value.name);
    *changed = old == nullptr || old->type != value.type || old->data != value.data ||
               old->dword != value.dword;
    if (*changed) document.SetValue(m_key, value);
    return REGISTRY_OK;
  });
}

RegistryResult RegistryKey::SetStringValue(std::string_view name, std::string_view value) const {
  RegistryValue entry;
  entry.name = name;
  entry.type = RegistryValueType::STRING;
  entry.data = value;
  return SetValue(entry);
}

RegistryResult RegistryKey::SetDwordValue(std::string_view name, std::uint32_t value) const {
  RegistryValue entry;
  entry.name = name;
  entry.type = RegistryValueType::DWORD;
  entry.dword = value;
  return SetValue(entry);
}

RegistryResult RegistryKey::DeleteValue(std::string_view name) const {
  if (!m_open) return REGISTRY_INVALID_HANDLE;
  if ((m_access & REGISTRY_ACCESS_SET) == 0) return REGISTRY_ACCESS_DENIED;
  return UpdateRegistryHive(m_file, [&](RegistryDocument& document, bool* changed) {
    if (!document.KeyExists(m_key)) return REGISTRY_KEY_DELETED;
    *changed = document.DeleteValue(m_key, name);
    return *changed ? REGISTRY_OK : REGISTRY_NOT_FOUND;
  });
}

bool ReadMachineString(std::string_view key, std::string_view name, std::string* value) {
  RegistryKey opened;
  if (RegistryKey::LocalMachine().OpenKey(key, REGISTRY_ACCESS_QUERY, &opened) != REGISTRY_OK) {
    return false;
  }
  std::string text;
  if (opened.QueryStringValue(name, REGISTRY_UNLIMITED, &text) != REGISTRY_OK) return false;
  *value = std::move(text);
  return true;
}

// The contents of one registry hive file in memory, and the key and value
// operations on them. The file format and its rules are described in
// docs/formats/registry-file.md; registry_text.h reads and writes it.
//
// A key exists when a section names it or names a key below it. Every name
// is compared without regard to case (RegistryNamesEqual) and keeps the case
// it was first written with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using RegistryNames = std::vector<std::string>;

enum class RegistryValueType { STRING, DWORD, BINARY };

struct RegistryValue {
  std::string name;  // "" is the key's default value, written "@"
  RegistryValueType type = RegistryValueType::STRING;
  // STRING: the text itself (escapes removed). BINARY (the hex forms, which
  // this program only keeps): everything after '=' exactly as the file holds
  // it, continuation lines joined with '\n'.
  std::string data;
  std::uint32_t dword = 0;  // DWORD only
};

// One line of a section (several for a continued hex value).
struct RegistryEntry {
  std::string comment;  // the whole line for a comment (it begins with ';'), else ""
  RegistryValue value;  // when comment is ""
};

struct RegistrySection {
  std::vector<std::string> comments;  // comment lines right before the section line
  RegistryNames key;                  // the names below HKEY_LOCAL_MACHINE; none for the root
  std::vector<RegistryEntry> entries;
};

enum class RegistryEncoding { UTF8, UTF8_BOM, UTF16LE };

class RegistryDocument {
 public:
  // The layout of the file it was read from, kept for writing it back.
  RegistryEncoding encoding = RegistryEncoding::UTF8;
  bool crlf = false;

  std::vector<RegistrySection> sections;  // at most one per key, in file order
  std::vector<std::string> trailing_comments;

  bool KeyExists(const RegistryNames& key) const;

  // `key` with every name that already exists in its stored case; names
  // below the existing part keep the case given.
  RegistryNames StoredKey(const RegistryNames& key) const;

  // The direct subkeys of `key` in the order they first appear in the file,
  // in their stored case.
  RegistryNames Subkeys(const RegistryNames& key) const;

  // The value `name` of `key`, or nullptr. Valid until the document changes.
  const RegistryValue* FindValue(const RegistryNames& key, std::string_view name) const;

  // Creates `key` and the keys above it: one new section, placed before the
  // sections of keys below it, else after the last section below its parent,
  // else at the end. Nothing happens when it exists.
  void AddKey(const RegistryNames& key);

  // Sets `value` in `key`. An existing value of that name takes the new type
  // and data and keeps its name's case and place; a new one comes last.
  // REQUIRES: KeyExists(key).
  void SetValue(const RegistryNames& key, const RegistryValue& value);

  // Removes the value; false when `key` has none of that name.
  bool DeleteValue(const RegistryNames& key, std::string_view name);

  // Index into `sections` of the section naming exactly `key`, or -1.
  int FindSection(const RegistryNames& key) const;

 private:
  RegistrySection& SectionFor(const RegistryNames& key);  // created where AddKey places it
};

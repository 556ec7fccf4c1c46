// The machine registry (HKEY_LOCAL_MACHINE) as keys and values, kept in a
// text file in the Windows ".reg" format: docs/formats/registry-file.md.
//
// The operations follow their Windows counterparts (RegOpenKeyEx,
// RegCreateKeyEx, RegEnumKeyEx, RegQueryValueEx, RegSetValueEx,
// RegDeleteValue). Each one reads the file anew, so that changes by other
// processes are seen at once; each change re-reads it under an exclusive lock
// and replaces it atomically. Key and value names compare without regard to
// case and keep the case they were created with. Rights follow the file's
// permissions: a user who may not change the file (or its directory) cannot
// open a key for writing, which is what KEY_WRITE on HKEY_LOCAL_MACHINE means
// on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "foundation/registry_document.h"
#include "foundation/registry_result.h"

// Rights of an open key; the values are Windows'.
constexpr unsigned REGISTRY_ACCESS_QUERY = 0x0001;          // read values (KEY_QUERY_VALUE)
constexpr unsigned REGISTRY_ACCESS_SET = 0x0002;            // set and delete values
constexpr unsigned REGISTRY_ACCESS_CREATE_SUBKEY = 0x0004;  // create keys below
constexpr unsigned REGISTRY_ACCESS_ENUMERATE = 0x0008;      // list subkeys
constexpr unsigned REGISTRY_ACCESS_READ = REGISTRY_ACCESS_QUERY | REGISTRY_ACCESS_ENUMERATE;
constexpr unsigned REGISTRY_ACCESS_WRITE = REGISTRY_ACCESS_SET | REGISTRY_ACCESS_CREATE_SUBKEY;
constexpr unsigned REGISTRY_ACCESS_ALL = REGISTRY_ACCESS_READ | REGISTRY_ACCESS_WRITE;

// A buffer size for callers that take any length.
constexpr std::size_t REGISTRY_UNLIMITED = static_cast<std::size_t>(-1);

class RegistryKey {
 public:
  // HKEY_LOCAL_MACHINE of the machine hive (MachineRegistryFile(), read now)
  // or of the hive file `file`. Open with every right, as the predefined
  // handle is; what the file permits is checked when a key is opened or
  // created for writing and when anything is written.
  static RegistryKey LocalMachine();
  static RegistryKey LocalMachine(const std::string& file);

  RegistryKey() = default;  // not open

  bool IsOpen() const { return m_open; }
  void Close() { *this = RegistryKey(); }
  unsigned Access() const { return m_access; }
  // The key's names below HKEY_LOCAL_MACHINE joined with '\', in their stored
  // case; "" for the root.
  std::string Path() const;

  // Every operation answers REGISTRY_INVALID_HANDLE on a key that is not open,
  // REGISTRY_KEY_DELETED when the key has vanished from the file since it was
  // opened, and the file's own failures (REGISTRY_CORRUPT, REGISTRY_IO_FAILED,
  // REGISTRY_ACCESS_DENIED; see registry_hive_file.h).

  // Opens the existing key `subkey` below this one ('\'-separated; "" is this
  // key again; one trailing '\' is allowed) with `access`. REGISTRY_NOT_FOUND
  // when it does not exist; REGISTRY_ACCESS_DENIED when `access` holds a
  // write right and the user may not change the file. *result is closed on
  // failure.
  RegistryResult OpenKey(std::string_view subkey, unsigned access, RegistryKey* result) const;

  // Opens `subkey` like OpenKey, creating it and the missing keys above it
  // first. Creating needs REGISTRY_ACCESS_CREATE_SUBKEY on this key and a
  // file the user may change (the file and its directories are made when
  // missing); an existing key opens without either. Names longer than
  // REGISTRY_MAX_KEY_NAME are REGISTRY_INVALID_PARAMETER. *created, when not
  // null, tells whether this call created the key.
  RegistryResult CreateKey(std::string_view subkey, unsigned access, RegistryKey* result,
                           bool* created = nullptr) const;

  // The name of subkey number `index` (0, 1, ...; in the order the file
  // names them). `capacity` counts UTF-16 characters with the terminating
  // NUL, as Windows' buffer does: a longer name gives REGISTRY_MORE_DATA.
  // REGISTRY_NO_MORE_ITEMS past the last. Needs REGISTRY_ACCESS_ENUMERATE.
  // *name is "" on failure.
  RegistryResult EnumerateSubkey(std::uint32_t index, std::size_t capacity,
                                 std::string* name) const;

  // A string value ("" names the default value "@"). The value must fit a
  // buffer of `buffer_bytes` bytes as UTF-16 with its terminating NUL, so
  // 260 bytes take at most 129 characters; a longer one is
  // REGISTRY_MORE_DATA and nothing is read. REGISTRY_NOT_FOUND without such a
  // value, REGISTRY_WRONG_TYPE for a value of another type. Needs
  // REGISTRY_ACCESS_QUERY. *value is "" on failure.
  RegistryResult QueryStringValue(std::string_view name, std::size_t buffer_bytes,
                                  std::string* value) const;

  // A DWORD value; *value is 0 on failure. As QueryStringValue otherwise.
  RegistryResult QueryDwordValue(std::string_view name, std::uint32_t* value) const;

  // Set a value, replacing any value of that name (of any type). Need
  // REGISTRY_ACCESS_SET. Names and texts must be UTF-8 without control
  // characters other than tab (REGISTRY_INVALID_PARAMETER otherwise). The
  // file is not rewritten when the value already holds exactly that.
  RegistryResult SetStringValue(std::string_view name, std::string_view value) const;
  RegistryResult SetDwordValue(std::string_view name, std::uint32_t value) const;

  // Removes a value; REGISTRY_NOT_FOUND when there is none of that name.
  // Needs REGISTRY_ACCESS_SET.
  RegistryResult DeleteValue(std::string_view name) const;

 private:
  RegistryKey(std::string file, RegistryNames key, unsigned access)
      : m_file(std::move(file)), m_key(std::move(key)), m_access(access), m_open(true) {}

  // OpenKey and CreateKey into a key that is not *this.
  RegistryResult Open(std::string_view subkey, unsigned access, RegistryKey* opened) const;
  RegistryResult Create(std::string_view subkey, unsigned access, RegistryKey* opened,
                        bool* added) const;
  // Checks the handle and the right, then reads the file; REGISTRY_OK when
  // the key is still in it.
  RegistryResult Load(unsigned needed, RegistryDocument* document) const;
  RegistryResult SetValue(const RegistryValue& value) const;

  std::string m_file;
  RegistryNames m_key;  // stored case, below HKEY_LOCAL_MACHINE
  unsigned m_access = 0;
  bool m_open = false;
};

// Reads the optional string value `name` of the machine key `key` (for
// example "Software\Omvel", "PatcherPageURL") at any length. True with
// *value set when it exists as a string; otherwise false with *value
// unchanged, so it may hold the default beforehand.
bool ReadMachineString(std::string_view key, std::string_view name, std::string* value);

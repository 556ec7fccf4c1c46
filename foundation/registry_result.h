// Results of the registry operations. The numbers are the Windows error codes
// of the same meaning, so that a logged number reads as it would there.
#pragma once

#include <cstdint>

using RegistryResult = std::uint32_t;

constexpr RegistryResult REGISTRY_OK = 0;
constexpr RegistryResult REGISTRY_NOT_FOUND = 2;  // no such key or value
constexpr RegistryResult REGISTRY_ACCESS_DENIED =
    5;  // the key was not opened for this, or the file may not be read or changed
constexpr RegistryResult REGISTRY_INVALID_HANDLE = 6;  // the key is not open
constexpr RegistryResult REGISTRY_INVALID_PARAMETER =
    87;  // a malformed path or name, or text that cannot be stored
constexpr RegistryResult REGISTRY_MORE_DATA =
    234;  // the caller's buffer is too small; nothing was read
constexpr RegistryResult REGISTRY_NO_MORE_ITEMS = 259;  // enumeration index past the last subkey
constexpr RegistryResult REGISTRY_CORRUPT = 1015;    // the hive file is not in the registry format
constexpr RegistryResult REGISTRY_IO_FAILED = 1016;  // the hive file could not be read or written
constexpr RegistryResult REGISTRY_KEY_DELETED = 1018;  // the open key no longer exists
constexpr RegistryResult REGISTRY_WRONG_TYPE = 1630;   // the value is not of the type asked for

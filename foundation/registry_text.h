// Reading and writing the registry hive file, the Windows ".reg" text format
// that docs/formats/registry-file.md describes.
#pragma once

#include <string>
#include <string_view>

#include "foundation/registry_document.h"

inline constexpr std::string_view REGISTRY_FILE_HEADER = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view REGISTRY_ROOT_NAME = "HKEY_LOCAL_MACHINE";

struct RegistryParseError {
  int line = 0;  // 1-based line of the file where the fault is
  std::string message;
};

// Reads the bytes of a hive file. A file without any bytes but blanks and
// line ends is an empty hive. False for anything else that is not a hive
// file: *error tells where and why, and *document must not be used.
bool ParseRegistryText(std::string_view bytes, RegistryDocument* document,
                       RegistryParseError* error);

// The file's bytes for `document`, in its encoding and with its line ends.
// Parsing the result gives the same document back.
std::string FormatRegistryText(const RegistryDocument& document);

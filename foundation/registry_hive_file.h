// The registry hive file on disk (docs/formats/registry-file.md): where the
// machine hive lives, reading it under a shared lock, and changing it under
// an exclusive lock so that processes writing at once lose nothing.
#pragma once

#include <functional>
#include <string>

#include "foundation/registry_document.h"
#include "foundation/registry_result.h"

inline constexpr const char* REGISTRY_DEFAULT_FILE = "/etc/omvel/registry.reg";
inline constexpr const char* REGISTRY_FILE_VARIABLE = "OMVEL_REGISTRY";

// The file of HKEY_LOCAL_MACHINE: $OMVEL_REGISTRY when set and not empty,
// else REGISTRY_DEFAULT_FILE. Read anew on every call.
std::string MachineRegistryFile();

// Reads and parses the hive file. A missing file is an empty hive.
// REGISTRY_OK; REGISTRY_CORRUPT when the file is not in the format (logged
// with file:line); REGISTRY_ACCESS_DENIED or REGISTRY_IO_FAILED when it cannot
// be read (logged). *document is empty on failure.
RegistryResult LoadRegistryHive(const std::string& file, RegistryDocument* document);

// A change to the hive: gets the file's current content, changes it and sets
// *changed when there is something to write. Any result but REGISTRY_OK
// cancels the write. It may be called twice per update (once on an empty
// hive when the file's directory is missing, to learn whether anything is
// to be written at all), so it must depend on nothing but the document.
using RegistryChange = std::function<RegistryResult(RegistryDocument& document, bool* changed)>;

// Applies `change` under the exclusive lock: re-reads the file, calls
// `change` and, when it changed something, replaces the file atomically.
// A missing file and its missing directories are created only when there is
// something to write. REGISTRY_ACCESS_DENIED when the effective user may not
// change the file (MayChangeRegistryHive); the change's own result; or the
// failures of LoadRegistryHive, and REGISTRY_IO_FAILED when writing fails
// (logged). A file that cannot be parsed is never written.
RegistryResult UpdateRegistryHive(const std::string& file, const RegistryChange& change);

// Whether the effective user may change the hive file: write it and its
// directory (or create them), as OS::MayReplaceRegistryFile describes.
bool MayChangeRegistryHive(const std::string& file);

// MD5 digest of a file's contents.
#pragma once

#include <string>

// Reads the file at `path` (UTF-8; '\' and '/' both separate components) and
// stores its 32-digit lowercase MD5 text in *checksum. Returns false, with
// *checksum unchanged, when the file cannot be opened or a read fails.
bool ComputeFileChecksum(const std::string& path, std::string* checksum);

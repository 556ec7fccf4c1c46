// Replacing one file by another in a single step, so that no reader ever
// finds the target missing or half written.
#pragma once

#include <string>

// Makes `from` durable (its data flushed to the device), then renames it
// over `to`, which is replaced atomically when it exists: at every moment
// `to` names either the old file or the complete new one. Both must lie in
// the same file system (normally the same directory). Either separator is
// accepted. True when `from` now lives at `to`; on failure nothing moved and
// errno tells why.
bool ReplaceFileAtomically(const std::string& from, const std::string& to);

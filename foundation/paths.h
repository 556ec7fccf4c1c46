// File and path utilities. All paths are UTF-8. Functions that touch the file
// system work on a copy of the path whose '\' and '/' are both turned into
// '/' (NormalizeSeparators); JoinPath, StripExtension and GetExtension work on
// the text unchanged, so stored forms may keep '\'.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "foundation/bram_result.h"

// a empty -> b; a ending in '/' or '\' -> a + b; otherwise a + "/" + b.
// Nothing is normalised.
std::string JoinPath(std::string_view a, std::string_view b);

// `full` relative to `base`, both normalised first, with '/' separators.
// Comparison is case-sensitive and by whole components: "/a/b/c" against
// "/a" gives "b/c", against "/a/b/c" gives "". A `full` that does not lie
// under `base` ("/ab/c" against "/a") is returned whole (normalised).
std::string RelativePath(std::string_view full, std::string_view base);

// The path without the extension that follows the last '.' after the last
// separator ("dir\file.tar.gz" -> "dir\file.tar"); the whole path without one.
std::string StripExtension(std::string_view path);

// The text after that dot ("gz"), or "" ("dir.x\file" -> "").
std::string GetExtension(std::string_view path);

// Replaces every '/' and '\' by `separator`.
void NormalizeSeparators(std::string& path, char separator = '/');

// True when the path (links followed) is a directory; false when missing.
bool IsDirectory(const std::string& path);

// Read-only means: the owner write bit is clear. Sets it when clear; true
// when the file is (now) writable by its owner, false when the path cannot
// be read or changed.
bool ClearReadOnly(const std::string& path);

// Creates the directory and any missing parents; true when it exists as a
// directory afterwards (also when it already did). On failure errno tells
// why: EEXIST when a non-directory is in the way, else mkdir's error, which
// is also logged as "MakeDirectory> mkdir returned err %d".
bool MakeDirectory(const std::string& path);

// True when the path exists (directories included).
bool FileExists(const std::string& path);

// On failure *size / *time is 0 and the result BRAMRESULT_IO_FAILURE.
// The time is the last modification in seconds since 1970-01-01 UTC.
BramResult QueryFileSize(const std::string& path, std::uint64_t* size);
BramResult QueryFileTime(const std::string& path, std::int64_t* time);

// Removes a file (not a directory); false for an empty path or on failure.
bool DeletePath(const std::string& path);

// Moves `from` to `to`, refusing (false, nothing moved) when `from` cannot be
// opened for writing: missing, read-only (owner write bit clear, also for
// root), a directory, or a running executable (ETXTBSY). Never replaces an
// existing `to`: the move is atomic and fails when the target exists.
bool MoveFileGuarded(const std::string& from, const std::string& to);

// Removes the directory with everything in it; symbolic links are removed,
// never followed. Stops at the first subdirectory it cannot remove (false);
// entries already removed stay removed.
bool RemoveTree(const std::string& path);

// Clears *entries and fills it with JoinPath(path, name) of every entry but
// "." and "..", files and directories alike, not recursive. BRAMRESULT_OK, or
// BRAMRESULT_NOT_FOUND (set empty) when the directory cannot be listed.
BramResult ListDirectory(const std::string& path, std::set<std::string>* entries);

// JoinPath(directory, "file<N>") with a process-wide counter N that grows by
// one per call (seeded from the clock). Creates nothing and tests nothing:
// callers create the file or directory themselves, exclusively.
std::string MakeTempName(const std::string& directory);

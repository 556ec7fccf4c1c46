// Names of registry keys and values: which texts are valid, how they compare
// (without regard to case), and key paths. See docs/formats/registry-file.md.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Longest key name (one path component) that can be created, in UTF-16 code
// units, as on Windows. Longer names found in a file are still read.
inline constexpr std::size_t REGISTRY_MAX_KEY_NAME = 255;

// The form in which names are compared: ASCII letters and the letters of
// Latin-1, Latin Extended-A, Greek and Cyrillic that have a one-to-one lower
// case are lowered; everything else stays. REQUIRES: valid UTF-8.
std::string FoldRegistryName(std::string_view name);

// Equal without regard to case, in the sense of FoldRegistryName.
bool RegistryNamesEqual(std::string_view a, std::string_view b);

// Valid UTF-8 without control characters (tab allowed): what a name or a
// string value may hold.
bool IsRegistryText(std::string_view text);

// Number of UTF-16 code units of valid UTF-8 `text`: the measure of name and
// value buffers.
std::size_t RegistryUtf16Length(std::string_view text);

// Splits a key path such as "Software\Omvel" (relative to an open key) into
// its names. "" is the key itself; one trailing '\' is allowed. False for a
// leading '\', an empty name between two '\', a name that is not registry
// text, or (when `for_creation`) a name longer than REGISTRY_MAX_KEY_NAME.
bool SplitRegistryPath(std::string_view path, bool for_creation, std::vector<std::string>* names);

// The names joined with '\'.
std::string JoinRegistryPath(const std::vector<std::string>& names);

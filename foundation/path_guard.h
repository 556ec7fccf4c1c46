// The validator for every relative path that arrives from outside (archive
// entries, manifest lines, package records, repair keys, catalogue entries).
#pragma once

#include <string>
#include <string_view>

// True when `relative` (either separator) is safe below `root`: not empty,
// no NUL, not absolute, no drive prefix ("C:"), no ".." component, and at
// least one component besides "." ones. Then *joined = root + "/" + the
// relative path with '/' separators (empty and "." components dropped). The
// part of *joined that already exists must not leave root through a symbolic
// link (a link that resolves outside root, or a dangling one, is refused).
// On failure *joined is untouched, *error = "unsafe path \"<relative>\" in
// <context>" and the result is false.
bool ResolveSafePath(std::string_view root, std::string_view relative, std::string_view context,
                     std::string* joined, std::string* error);

// omvel-patchkit make OLD_DIR NEW_DIR ARCHIVE: patch authoring. Compares two
// build trees and writes the patch archive that brings an installation of
// the old build to the new one: the three manifests
// (docs/formats/manifests.md), the new files under data\, and a VCDIFF diff
// per changed file (docs/formats/archive-diff.md), made with xdelta3.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace BramPatch {

// Installation state rather than build content: never compared or carried.
constexpr const char* AUTHOR_SKIPPED_FILES[] = {"unins000.dat", "unins000_temp.dat"};

// The encoder; searched in PATH.
constexpr const char* AUTHOR_XDELTA3 = "xdelta3";

// xdelta3's default source window, and the largest it accepts. A source
// file larger than the default gets a window of its own size, so matches
// are found across the whole file.
constexpr std::uint64_t AUTHOR_DEFAULT_SOURCE_WINDOW = 64ull << 20;
constexpr std::uint64_t AUTHOR_MAX_SOURCE_WINDOW = 2ull << 30;

struct PatchAuthorCounts {
  std::uint64_t m_added = 0;
  std::uint64_t m_deleted = 0;
  std::uint64_t m_patched = 0;
  std::uint64_t m_identical = 0;
};

// Writes the archive for OLD_DIR -> NEW_DIR to `archive` (replaced when
// present; written completely before it takes that name). Files only: empty
// folders are not carried, and AUTHOR_SKIPPED_FILES are left out.
//
// A patched ".ja" archive gets an archive diff for PakConverter.exe when the
// new build has bin\PakConverter.exe (the patcher then uses it), and an
// ordinary diff otherwise.
//
// Refuses, naming the path, a tree it cannot represent: an entry that is not
// a regular file or folder (links among them), a name that is not UTF-8,
// holds '\', a line break, or ends in ".pbk" (the patcher's backups), a path
// the path validator refuses, an added file without an extension or data
// below a folder whose name holds '.' (the archive would read either as the
// other kind), and a path that is a file in one build and a folder in the
// other. Also refuses an archive inside either tree. On failure nothing is
// left at `archive` and *error holds one line. Progress lines go to `out`.
bool MakePatchArchive(const std::string& old_dir, const std::string& new_dir,
                      const std::string& archive, std::ostream& out, std::string* error,
                      PatchAuthorCounts* counts = nullptr);

// The command: exit code as in tools/patchkit_commands.h.
int RunMake(const std::string& old_dir, const std::string& new_dir, const std::string& archive,
            std::ostream& out, std::string* error);

}  // namespace BramPatch

// omvel-patchkit release: from a sequence of build trees, the patch archives
// that lead from each build to the next and the catalogue "patches.txt" that
// lists them (docs/formats/patch-catalogue.md), with archive addresses
// relative to the catalogue, so the folder can be served as it is from the
// base URL of any web or FTP server.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace BramPatch {

// The build a tree holds: the name of its folder ("releases/101/" -> "101").
// "" when that name is not a usable build: only letters, digits, '.', '_'
// and '-', and not "." or "..".
std::string ReleaseBuildName(const std::string& tree);

// `builds`: two or more build trees, oldest first, each named after its
// build (ReleaseBuildName), no build twice. Writes into `out_dir` (created
// when missing) "<a>_to_<b>.zip" for each build a and the next build b, made
// as `omvel-patchkit make` makes one (tools/patch_author.h), and
// "patches.txt" with one block per archive, replacing files of those names.
// "patch-exe-url" names "<a>_to_<b>.exe" beside each archive, for a
// self-contained patcher the maker may publish there; the patcher never
// downloads it. Progress goes to `out`, then one line per archive and one
// for the catalogue. Returns the process exit code
// (tools/patchkit_commands.h); a failure leaves the archives written before
// it and no new catalogue.
int RunRelease(const std::vector<std::string>& builds, const std::string& out_dir,
               std::ostream& out, std::string* error);

}  // namespace BramPatch

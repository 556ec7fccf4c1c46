// The file patch engine: applies one unpacked patch directory to the
// installation as a single all-or-nothing step. It reads the three manifests
// (docs/formats/manifests.md), adds new files, moves deleted files aside,
// transforms patched files with the product's diff tool (or its archive
// tool, for ".ja" archives), and enters the added files into the
// uninstaller log. Every change is recorded when it is made; at the end the
// records are settled (the ".pbk" backups dropped) when everything
// succeeded, and rolled back otherwise. Texts go to the hooks of
// engine/patch_callbacks.h.
#pragma once

#include <string>

namespace BramPatch {

class PatchFileSystem;

// Applies `patch_dir` to `install_dir` (both UTF-8; relative ones are taken
// from the working directory). `last_file_name` picks the patched entry
// that goes last (the caller passes PATCH_LAST_FILE_NAME). True when every
// phase and the uninstaller log update succeeded; the installation is then
// at the new build. False after a failure or a cancel; the installation is
// then back at the old build, except for a backup that could not be put
// back, which has been posted. A manifest that cannot be read, is cut short
// or names an unsafe path fails the call before anything changes.
//
// Beyond the undo records of each phase:
//  - a file the add phase replaces is kept as a ".pbk" backup too, and put
//    back by a rollback;
//  - a rollback undoes the changes from the last to the first, removes the
//    folders the call created (as far as they are empty again), and posts
//    every backup it cannot put back;
//  - no entry replaces or writes over a backup this call has made;
//  - a tool that has not ended after PATCH_TOOL_TIME_LIMIT_MS is stopped
//    and its entry fails;
//  - patched files keep the permission bits of the files they replace.
//
// REQUIRES: one call at a time for one installation.
bool ApplyPatchDirectory(const std::string& install_dir, const std::string& patch_dir,
                         const std::string& last_file_name);

// The same over `file_system` instead of the real one (tests inject faults).
bool ApplyPatchDirectory(const std::string& install_dir, const std::string& patch_dir,
                         const std::string& last_file_name, PatchFileSystem& file_system);

}  // namespace BramPatch

// Applying a VCDIFF delta with Debian's xdelta3, for the product's diff tool
// "jpatchl-w32.exe" and its archive converter "PakConverter.exe". Both are
// run by the patcher with three paths (backup, diff, target) and report by
// exit code; the checks that can be made before decoding are made first, so
// that the code names the right file.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace BramPatch {

constexpr int DIFF_TOOL_EXIT_OK = 0;
constexpr int DIFF_TOOL_EXIT_ARGUMENTS = 1;  // wrong argument count
constexpr int DIFF_TOOL_EXIT_MISMATCH = 1;   // archive tool: the backup is not the diff's source
constexpr int DIFF_TOOL_EXIT_BACKUP = 2;     // the backup cannot be read
constexpr int DIFF_TOOL_EXIT_DIFF = 3;  // the diff cannot be read, is corrupt or not for this file
constexpr int DIFF_TOOL_EXIT_TARGET = 4;   // the target cannot be written
constexpr int DIFF_TOOL_EXIT_DECODER = 5;  // xdelta3 could not be run, or was ended by a signal

// The decoder; searched in PATH.
constexpr const char* DIFF_TOOL_XDELTA3 = "xdelta3";

// Decodes `diff` against `backup` into `target` (created or replaced).
// Paths may use either separator. Returns one of the codes above; what went
// wrong, and xdelta3's own messages, are written to `log`. On failure the
// target may be left half written.
int ApplyVcdiff(const std::string& backup, const std::string& diff, const std::string& target,
                std::ostream& log);

// "jpatchl-w32.exe BACKUP DIFF TARGET"; `arguments` excludes the program.
int RunDiffTool(const std::vector<std::string>& arguments, std::ostream& log);

// "PakConverter.exe patchapply BACKUP DIFF TARGET": the diff must be an
// archive diff whose recorded source checksum is the backup's. A backup that
// already has the recorded target checksum was converted before: it is
// copied to the target unchanged and the result is success.
int RunArchiveTool(const std::vector<std::string>& arguments, std::ostream& log);

}  // namespace BramPatch

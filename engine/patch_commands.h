// The command lines of the two patch tools and the texts for their exit
// codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace BramPatch {

// A tool that has not ended after this long is stopped and its entry fails.
constexpr std::uint64_t PATCH_TOOL_TIME_LIMIT_MS = 10 * 60 * 1000;

// Posted (kind 2) for a tool stopped at the time limit: %d minutes, %s the
// entry's relative path.
constexpr const char* PATCH_TOOL_TIMED_OUT_TEXT =
    "The patch tool did not finish within %d minutes and was stopped while patching file %s";

// `install_dir`, a '/' unless it already ends with a separator, then "bin/":
// the tools' folder, which is also their working directory.
std::string PatchToolFolder(const std::string& install_dir);

// One run of a tool: the executable and the arguments that follow it. The
// whole command line is "\"" + executable + "\" " + arguments.
struct PatchToolCommand {
  std::string m_executable;
  std::string m_arguments;

  std::string CommandLine() const { return "\"" + m_executable + "\" " + m_arguments; }
};

// The diff tool: its three paths (backup, diff, target), each quoted. In
// archive mode the archive tool instead, with "patchapply" before the paths.
PatchToolCommand MakePatchToolCommand(const std::string& tool_folder, bool archive_mode,
                                      const std::string& backup, const std::string& diff,
                                      const std::string& target);

// The error text for a tool's non-zero exit code; %s in the texts is the
// entry's relative path.
std::string PatchToolExitText(bool archive_mode, int exit_code, const std::string& relative_path);

// Fills a format's %s and %d from left to right with `values` (each taken as
// it stands, so a value holding "%s" is never expanded). A marker without a
// value stays as it is.
std::string FillPatchText(std::string_view format, const std::vector<std::string>& values);

}  // namespace BramPatch

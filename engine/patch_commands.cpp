#include "engine/patch_commands.h"

#include "engine/patch_data_paths.h"
#include "engine/windows_argument_quote.h"
#include "text/fixed_texts.h"

namespace BramPatch {

std::string PatchToolFolder(const std::string& install_dir) {
  std::string folder = install_dir;
  if (folder.empty() || (folder.back() != '/' && folder.back() != '\\')) folder += '/';
  return folder + PATCH_TOOL_FOLDER + "/";
}

PatchToolCommand MakePatchToolCommand(const std::string& tool_folder, bool archive_mode,
                                      const std::string& backup, const std::string& diff,
                                      const std::string& target) {
  PatchToolCommand command;
  command.m_executable = tool_folder + (archive_mode ? PATCH_ARCHIVE_TOOL : PATCH_DIFF_TOOL);
  if (archive_mode) command.m_arguments = "patchapply ";
  command.m_arguments += QuoteWindowsArgument(backup) + " " + QuoteWindowsArgument(diff) + " " +
                         QuoteWindowsArgument(target);
  return command;
}

std::string PatchToolExitText(bool archive_mode, int exit_code, const std::string& relative_path) {
  switch (exit_code) {
    case 1:
      return archive_mode ? FillPatchText(FIXED_PATCH_CONTENTS_MISMATCH, {relative_path})
                          : FIXED_NOT_ENOUGH_ARGUMENTS;
    case 2:
      return FillPatchText(FIXED_CANNOT_OPEN_DATA_FILE, {relative_path});
    case 3:
      return FillPatchText(FIXED_CANNOT_OPEN_PATCH_FILE, {relative_path});
    case 4:
      return FIXED_CANNOT_OPEN_OUTPUT_FILE;
    default:
      return FillPatchText(FIXED_UNKNOWN_PATCH_ERROR, {std::to_string(exit_code), relative_path});
  }
}

std::string FillPatchText(std::string_view format, const std::vector<std::string>& values) {
  std::string text;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const bool marker = format[i] == '%' && i + 1 < format.size() &&
                        (format[i + 1] == 's' || format[i + 1] == 'd') && next < values.size();
    if (marker) {
      text += values[next++];
      ++i;
    } else {
      text += format[i];
    }
  }
  return text;
}

}  // namespace BramPatch

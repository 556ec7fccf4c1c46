#include "product/delta_apply.h"

#include <cstdio>
#include <filesystem>
#include <ostream>

#include "engine/windows_argument_quote.h"
#include "foundation/child_process.h"
#include "foundation/paths.h"
#include "kit/file_checksum.h"
#include "product/vcdiff_header.h"

namespace BramPatch {

namespace {

std::string Native(std::string path) {
  NormalizeSeparators(path);
  return path;
}

// True when the file opens and its first byte (if any) can be read: a
// directory opens but fails to read.
bool IsReadable(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fgetc(file);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

// Opens the target for writing without cutting an existing file short.
bool IsWritable(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return false;
  return std::fclose(file) == 0;
}

bool HasFailureAbout(const std::string& output, const std::string& what, const std::string& path) {
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(start, end - start);
    if (line.find(what) != std::string::npos &&
        (path.empty() || line.find(path) != std::string::npos)) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

// The exit code for a failed xdelta3 run, from what it printed. Write
// errors concern the target; open and read errors that name the backup
// concern the backup; everything else means the delta did not decode.
int ClassifyDecoderFailure(const std::string& output, const std::string& backup) {
  if (HasFailureAbout(output, "write failed", "") ||
      HasFailureAbout(output, "file open failed: write", "")) {
    return DIFF_TOOL_EXIT_TARGET;
  }
  if (HasFailureAbout(output, "read failed", backup) ||
      HasFailureAbout(output, "file open failed: read", backup)) {
    return DIFF_TOOL_EXIT_BACKUP;
  }
  return DIFF_TOOL_EXIT_DIFF;
}

int CheckInputs(const std::string& backup, const std::string& diff, const std::string& target,
                std::ostream& log) {
  if (!IsReadable(backup)) {
    log << "cannot read the backup " << backup << "\n";
    return DIFF_TOOL_EXIT_BACKUP;
  }
  VcdiffHeader header;
  if (!ReadVcdiffHeader(diff, &header)) {
    log << "cannot read a VCDIFF delta from " << diff << "\n";
    return DIFF_TOOL_EXIT_DIFF;
  }
  if (!IsWritable(target)) {
    log << "cannot write the target " << target << "\n";
    return DIFF_TOOL_EXIT_TARGET;
  }
  return DIFF_TOOL_EXIT_OK;
}

}  // namespace

int ApplyVcdiff(const std::string& backup_path, const std::string& diff_path,
                const std::string& target_path, std::ostream& log) {
  const std::string backup = Native(backup_path);
  const std::string diff = Native(diff_path);
  const std::string target = Native(target_path);
  const int checked = CheckInputs(backup, diff, target, log);
  if (checked != DIFF_TOOL_EXIT_OK) return checked;

  // -D and -R: never hand the data to an external (de)compressor.
  const std::string arguments = "-d -f -D -R -s " + QuoteWindowsArgument(backup) + " " +
                                QuoteWindowsArgument(diff) + " " + QuoteWindowsArgument(target);
  ChildProcess* child = StartChildProcess(DIFF_TOOL_XDELTA3, arguments);
  if (child == nullptr) {
    log << "cannot start " << DIFF_TOOL_XDELTA3 << "\n";
    return DIFF_TOOL_EXIT_DECODER;
  }
  std::string output;
  while (ReadChildOutput(child, output)) {
  }
  WaitChild(child, CHILD_WAIT_INFINITE);
  const int code = ChildExitCode(child);
  CloseChild(child);
  delete child;
  log << output;
  if (code == 0) return DIFF_TOOL_EXIT_OK;
  if (code < 0 || code >= 128) {
    log << DIFF_TOOL_XDELTA3 << " ended abnormally (" << code << ")\n";
    return DIFF_TOOL_EXIT_DECODER;
  }
  return ClassifyDecoderFailure(output, backup);
}

int RunDiffTool(const std::vector<std::string>& arguments, std::ostream& log) {
  if (arguments.size() != 3) {
    log << "usage: jpatchl-w32.exe BACKUP DIFF TARGET\n";
    return DIFF_TOOL_EXIT_ARGUMENTS;
  }
  return ApplyVcdiff(arguments[0], arguments[1], arguments[2], log);
}

int RunArchiveTool(const std::vector<std::string>& arguments, std::ostream& log) {
  if (arguments.size() != 4 || arguments[0] != "patchapply") {
    log << "usage: PakConverter.exe patchapply BACKUP DIFF TARGET\n";
    return DIFF_TOOL_EXIT_ARGUMENTS;
  }
  const std::string backup = Native(arguments[1]);
  const std::string diff = Native(arguments[2]);
  const std::string target = Native(arguments[3]);
  const int checked = CheckInputs(backup, diff, target, log);
  if (checked != DIFF_TOOL_EXIT_OK) return checked;

  VcdiffHeader header;
  std::string source_md5;
  std::string target_md5;
  if (!ReadVcdiffHeader(diff, &header) || !header.m_hasApplicationHeader ||
      !ParseArchiveDiffHeader(header.m_applicationHeader, &source_md5, &target_md5)) {
    log << diff << " is not an archive diff\n";
    return DIFF_TOOL_EXIT_DIFF;
  }
  std::string backup_md5;
  if (!ComputeFileChecksum(backup, &backup_md5)) {
    log << "cannot read the backup " << backup << "\n";
    return DIFF_TOOL_EXIT_BACKUP;
  }
  if (backup_md5 == source_md5) return ApplyVcdiff(backup, diff, target, log);
  if (backup_md5 == target_md5) {
    std::error_code error;
    std::filesystem::copy_file(backup, target, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) {
      log << "cannot write the target " << target << ": " << error.message() << "\n";
      return DIFF_TOOL_EXIT_TARGET;
    }
    log << backup << " is converted already\n";
    return DIFF_TOOL_EXIT_OK;
  }
  log << backup << " has checksum " << backup_md5 << ", the diff was made from " << source_md5
      << "\n";
  return DIFF_TOOL_EXIT_MISMATCH;
}

}  // namespace BramPatch

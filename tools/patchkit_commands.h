// The commands of omvel-patchkit, the maker's tool for patch archives and
// self-contained packages. Each writes its report to `out` and returns the
// process exit code; on failure it writes one line, without the program's
// name, to *error and returns PATCHKIT_EXIT_FAILURE.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace BramPatch {

constexpr int PATCHKIT_EXIT_OK = 0;
constexpr int PATCHKIT_EXIT_FAILURE = 1;  // bad input or a failed operation
constexpr int PATCHKIT_EXIT_USAGE = 2;    // the command line could not be parsed

// DIR -> ARCHIVE.
int RunPack(const std::string& directory, const std::string& archive, std::ostream& out,
            std::string* error);

// ARCHIVE -> DIR (created when missing).
int RunUnpack(const std::string& archive, const std::string& directory, std::ostream& out,
              std::string* error);

// One line per entry ("folder" or the file's size, then the name) and a
// summary line.
int RunList(const std::string& archive, std::ostream& out, std::string* error);

// "<md5>  <file>" per file, as md5sum prints it.
int RunMd5(const std::vector<std::string>& files, std::ostream& out, std::string* error);

// One record of a package to write: source build, target build,
// identifying file, its MD5 at the source build, archive path.
struct PatchkitRecordArgs {
  std::string m_source;
  std::string m_target;
  std::string m_identifyingFile;
  std::string m_checksum;
  std::string m_archive;
};

// EXECUTABLE + records -> OUTPUT.
int RunPackageCreate(const std::string& executable, const std::string& output,
                     const std::vector<PatchkitRecordArgs>& records, std::ostream& out,
                     std::string* error);

// The header and one line per record of the package in PACKAGE.
int RunPackageList(const std::string& package, std::ostream& out, std::string* error);

// Copies the archive for SOURCE out of PACKAGE into OUTPUT.
int RunPackageExtract(const std::string& package, const std::string& source,
                      const std::string& output, std::ostream& out, std::string* error);

}  // namespace BramPatch

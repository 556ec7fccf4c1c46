// Finding the package appended to an executable, choosing the record of the
// installed build and copying its patch archive out. Format:
// docs/formats/package.md.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/package_format.h"
#include "foundation/bram_result.h"

class BramDataBufferFile;

namespace BramPatch {

// The reader. It keeps the package file open from OpenPackage until the
// next OpenPackage or its destruction. Used by one thread at a time.
class PatchPackage {
 public:
  static constexpr std::uint64_t PACKAGE_NO_HEADER = ~std::uint64_t{0};

  PatchPackage();
  ~PatchPackage();
  PatchPackage(const PatchPackage&) = delete;
  PatchPackage& operator=(const PatchPackage&) = delete;

  // Looks for the header at every multiple of 4096 from the start of the
  // file. BRAMRESULT_OK when a header whose total size equals the file's
  // size was found; BRAMRESULT_IO_FAILURE when the file cannot be opened, or
  // when every header found states another size (a truncated or extended
  // file; the first such header stays held); BRAMRESULT_UNSUPPORTED when no
  // header was found. A header whose size does not match does not end the
  // scan, so magic bytes inside the executable image cannot hide the
  // package behind them.
  BramResult OpenPackage(const std::string& path);

  // The source builds (record order, duplicates kept) of every record whose
  // identifying file inside install_dir has exactly the record's MD5. A
  // record whose identifying path fails the path validator never matches.
  // Empty when no package is held; a record that cannot be read ends the
  // scan.
  std::vector<std::string> FindApplicableVersions(const std::string& install_dir);

  // The target build of the first record for `source_version`; "" when none
  // (or a record cannot be read).
  std::string GetTargetVersion(const std::string& source_version);

  // Copies the archive of the first record for `source_version` into
  // output_path (created or truncated). BRAMRESULT_OK; BRAMRESULT_NOT_OPEN
  // without a package; BRAMRESULT_NOT_FOUND when no record matches;
  // BRAMRESULT_END_OF_DATA when the record's archive does not lie inside
  // the file; BRAMRESULT_NOT_ALLOWED when the output cannot be created; or
  // the failing read, seek or copy result. Only success leaves a file at
  // output_path (none is created for the first three failures, a partial
  // one is removed).
  BramResult ExtractArchive(const std::string& source_version, const std::string& output_path);

  // Every record in table order; the result of the first failing read.
  BramResult ReadRecords(std::vector<PackageRecord>* records);

  bool IsOpen() const { return m_file != nullptr; }
  // The offset of the held header, PACKAGE_NO_HEADER when none is held.
  std::uint64_t GetHeaderOffset() const { return m_headerOffset; }
  // The held header, or null.
  const PackageHeader* GetHeader() const { return m_header.get(); }

 private:
  BramResult ReadRecord(std::uint32_t index, PackageRecord* record);

  std::unique_ptr<BramDataBufferFile> m_file;
  std::uint64_t m_headerOffset = PACKAGE_NO_HEADER;
  std::unique_ptr<PackageHeader> m_header;
};

}  // namespace BramPatch

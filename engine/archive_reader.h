// Reading patch archives: a version word, then entries of compressed
// streams, each a name (a directory) or a name and the file's bytes. Format:
// docs/formats/patch-archive.md.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/bram_result.h"

class BramDataBuffer;
class BramDataBufferFile;

namespace BramPatch {

constexpr std::uint32_t ARCHIVE_FORMAT_VERSION = 1;
// Entry names longer than this many UTF-16 code units are refused (they
// exceed every path limit of the installation's file systems).
constexpr std::uint32_t ARCHIVE_MAX_NAME_UNITS = 32767;

// True when the archive reads `name` as a directory: its last component
// (after the last '\' or '/') holds no '.', or it ends with a separator.
bool IsArchiveDirectoryName(const std::string& name);

struct ArchiveEntry {
  std::string m_name;  // as stored, UTF-8, e.g. ".\data\bin\a.dll"
  bool m_isDirectory = false;
};

// Walks the entries of one archive file in order. Every failure leaves a
// one-line description in GetError() and ends the walk.
class PatchArchiveReader {
 public:
  PatchArchiveReader();
  ~PatchArchiveReader();
  PatchArchiveReader(const PatchArchiveReader&) = delete;
  PatchArchiveReader& operator=(const PatchArchiveReader&) = delete;

  // Opens the archive and checks its version word.
  bool Open(const std::string& path);
  // True when every entry has been read (the position is at the file's end).
  bool AtEnd() const;
  // Reads the next entry's name. The name must be a whole UTF-16 text of at
  // most ARCHIVE_MAX_NAME_UNITS units without NUL; the stream must hold
  // exactly its count and its characters. REQUIRES: Open succeeded, !AtEnd(),
  // and the previous file entry's data was read or skipped.
  bool ReadEntryName(ArchiveEntry* entry);
  // For a file entry, after ReadEntryName: inflates its bytes into
  // `destination` at its position.
  bool ReadEntryData(BramDataBuffer& destination);
  // For a file entry, after ReadEntryName: steps over its data without
  // inflating it; *size receives the stated uncompressed length.
  bool SkipEntryData(std::uint64_t* size);

  const std::string& GetError() const { return m_error; }

 private:
  bool Fail(const std::string& what);

  std::string m_path;
  std::unique_ptr<BramDataBufferFile> m_file;
  std::vector<std::uint8_t> m_nameArea;  // reused for every name stream
  std::string m_entryName;               // the entry being read, for errors
  std::string m_error;
};

struct ArchiveListing {
  ArchiveEntry m_entry;
  std::uint64_t m_size = 0;  // uncompressed bytes; 0 for a directory
};

// Lists every entry without inflating file data. False (with *error set) at
// the first malformed entry; *listing then holds the entries before it.
bool ListArchive(const std::string& archive_path, std::vector<ArchiveListing>* listing,
                 std::string* error);

struct UnpackCounts {
  std::uint64_t m_directories = 0;
  std::uint64_t m_files = 0;
  std::uint64_t m_bytes = 0;
};

// Unpacks the archive below destination_dir (which must exist): a directory
// entry creates the directory (with missing parents), a file entry is
// written in full, replacing a file of that name. Every name goes through
// the path validator first: a name that is absolute, has a drive prefix or a
// ".." component, or would leave destination_dir through a link, fails the
// unpack before anything is written for it. Stops at the first failure;
// entries written before it stay on disk, a half-written file is removed.
// *error (optional) receives a one-line reason, *counts (optional) what was
// unpacked.
bool UnpackArchive(const std::string& archive_path, const std::string& destination_dir,
                   std::string* error = nullptr, UnpackCounts* counts = nullptr);

}  // namespace BramPatch

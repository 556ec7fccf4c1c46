// The self-contained package: patch archives and their records appended to
// the patcher's executable at a multiple of 4096 bytes. Header and record
// layouts: docs/formats/package.md.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace BramPatch {

constexpr std::uint32_t PACKAGE_ALIGNMENT = 4096;
constexpr std::uint32_t PACKAGE_HEADER_SIZE = 28;
constexpr std::uint32_t PACKAGE_RECORD_SIZE = 468;
constexpr std::string_view PACKAGE_MAGIC{"B0r1a2m3", 8};

// Widths of the record's NUL-padded 8-bit text fields; a text holds at most
// width - 1 bytes.
constexpr std::uint32_t PACKAGE_IDENTIFYING_FILE_WIDTH = 256;
constexpr std::uint32_t PACKAGE_CHECKSUM_WIDTH = 132;
constexpr std::uint32_t PACKAGE_VERSION_WIDTH = 32;

struct PackageHeader {
  std::uint32_t m_totalSize = 0;  // the whole file, executable included
  std::uint32_t m_recordCount = 0;
  std::uint64_t m_tableOffset = 0;  // absolute
  std::uint32_t m_reserved = 0;
};

struct PackageRecord {
  std::string m_identifyingFile;  // relative to the installation, '\' separators
  std::string m_checksum;         // MD5 text of that file at the source version
  std::string m_sourceVersion;
  std::string m_targetVersion;
  std::uint64_t m_archiveOffset = 0;  // absolute
  std::uint64_t m_archiveLength = 0;

  bool operator==(const PackageRecord&) const = default;
};

// 28 bytes, magic first.
std::string EncodePackageHeader(const PackageHeader& header);
// False when `bytes` (28 of them) does not start with the magic.
bool DecodePackageHeader(const std::uint8_t* bytes, PackageHeader* header);

// 468 bytes. REQUIRES: every text fits its field (width - 1 bytes) and holds
// no NUL; see CheckPackageRecordTexts.
std::string EncodePackageRecord(const PackageRecord& record);
// Reads 468 bytes; each text field ends at its first NUL, its last byte
// counting as NUL whatever it holds.
PackageRecord DecodePackageRecord(const std::uint8_t* bytes);

// False with *error naming the field when a text of `record` does not fit
// its field or holds NUL, a version is empty, or the checksum is not 32
// lowercase hexadecimal digits.
bool CheckPackageRecordTexts(const PackageRecord& record, std::string* error);

}  // namespace BramPatch

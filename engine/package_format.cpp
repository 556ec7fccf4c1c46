#include "engine/package_format.h"

#include <algorithm>
#include <cstring>

#include "engine/le_fields.h"

namespace BramPatch {

namespace {

void AppendText(std::string* out, const std::string& text, std::uint32_t width) {
  std::string field(width, '\0');
  field.replace(0, std::min<size_t>(text.size(), width - 1), text, 0, width - 1);
  out->append(field);
}

std::string LoadText(const std::uint8_t* bytes, std::uint32_t width) {
  const char* text = reinterpret_cast<const char*>(bytes);
  return std::string(text, strnlen(text, width - 1));
}

bool CheckText(const std::string& text, std::uint32_t width, const char* field,
               std::string* error) {
  if (text.size() > width - 1) {
    *error = std::string(field) + " \"" + text + "\" is longer than " + std::to_string(width - 1) +
             " bytes";
    return false;
  }
  if (text.find('\0') != std::string::npos) {
    *error = std::string(field) + " holds NUL";
    return false;
  }
  return true;
}

}  // namespace

std::string EncodePackageHeader(const PackageHeader& header) {
  std::string bytes(PACKAGE_MAGIC);
  AppendLe(&bytes, header.m_totalSize, 4);
  AppendLe(&bytes, header.m_recordCount, 4);
  AppendLe(&bytes, header.m_tableOffset, 8);
  AppendLe(&bytes, header.m_reserved, 4);
  return bytes;
}

bool DecodePackageHeader(const std::uint8_t* bytes, PackageHeader* header) {
  if (std::memcmp(bytes, PACKAGE_MAGIC.data(), PACKAGE_MAGIC.size()) != 0) return false;
  header->m_totalSize = LoadLe32(bytes + 8);
  header->m_recordCount = LoadLe32(bytes + 12);
  header->m_tableOffset = LoadLe64(bytes + 16);
  header->m_reserved = LoadLe32(bytes + 24);
  return true;
}

std::string EncodePackageRecord(const PackageRecord& record) {
  std::string bytes;
  AppendText(&bytes, record.m_identifyingFile, PACKAGE_IDENTIFYING_FILE_WIDTH);
  AppendText(&bytes, record.m_checksum, PACKAGE_CHECKSUM_WIDTH);
  AppendText(&bytes, record.m_sourceVersion, PACKAGE_VERSION_WIDTH);
  AppendText(&bytes, record.m_targetVersion, PACKAGE_VERSION_WIDTH);
  AppendLe(&bytes, record.m_archiveOffset, 8);
  AppendLe(&bytes, record.m_archiveLength, 8);
  return bytes;
}

PackageRecord DecodePackageRecord(const std::uint8_t* bytes) {
  PackageRecord record;
  record.m_identifyingFile = LoadText(bytes, PACKAGE_IDENTIFYING_FILE_WIDTH);
  record.m_checksum = LoadText(bytes + 256, PACKAGE_CHECKSUM_WIDTH);
  record.m_sourceVersion = LoadText(bytes + 388, PACKAGE_VERSION_WIDTH);
  record.m_targetVersion = LoadText(bytes + 420, PACKAGE_VERSION_WIDTH);
  record.m_archiveOffset = LoadLe64(bytes + 452);
  record.m_archiveLength = LoadLe64(bytes + 460);
  return record;
}

bool CheckPackageRecordTexts(const PackageRecord& record, std::string* error) {
  if (!CheckText(record.m_identifyingFile, PACKAGE_IDENTIFYING_FILE_WIDTH, "identifying file",
                 error) ||
      !CheckText(record.m_checksum, PACKAGE_CHECKSUM_WIDTH, "checksum", error) ||
      !CheckText(record.m_sourceVersion, PACKAGE_VERSION_WIDTH, "source build", error) ||
      !CheckText(record.m_targetVersion, PACKAGE_VERSION_WIDTH, "target build", error)) {
    return false;
  }
  if (record.m_identifyingFile.empty()) {
    *error = "the identifying file is empty";
    return false;
  }
  if (record.m_sourceVersion.empty() || record.m_targetVersion.empty()) {
    *error = "a build text is empty";
    return false;
  }
  bool hex = record.m_checksum.size() == 32 &&
             record.m_checksum.find_first_not_of("0123456789abcdef") == std::string::npos;
  if (!hex) {
    *error = "checksum \"" + record.m_checksum + "\" is not 32 lowercase hexadecimal digits";
    return false;
  }
  return true;
}

}  // namespace BramPatch

#include "engine/package_reader.h"

#include "foundation/log.h"
#include "foundation/path_guard.h"
#include "foundation/paths.h"
#include "kit/copy_data.h"
#include "kit/data_buffer_file.h"
#include "kit/file_checksum.h"

namespace BramPatch {

PatchPackage::PatchPackage() = default;
PatchPackage::~PatchPackage() = default;

BramResult PatchPackage::OpenPackage(const std::string& path) {
  m_file.reset();
  m_header.reset();
  m_headerOffset = PACKAGE_NO_HEADER;

  auto file = std::make_unique<BramDataBufferFile>(path, BRAMFILE_MODE_READ);
  if (!file->IsOpen()) return BRAMRESULT_IO_FAILURE;
  const std::uint64_t size = file->GetSize();
  for (std::uint64_t offset = 0; offset + PACKAGE_HEADER_SIZE <= size;
       offset += PACKAGE_ALIGNMENT) {
    std::uint8_t bytes[PACKAGE_HEADER_SIZE];
    if (file->SetPosition(offset) != BRAMRESULT_OK ||
        file->ReadData(bytes, PACKAGE_HEADER_SIZE) != BRAMRESULT_OK) {
      break;
    }
    PackageHeader header;
    if (!DecodePackageHeader(bytes, &header)) continue;
    if (header.m_totalSize == size) {
      m_file = std::move(file);
      m_header = std::make_unique<PackageHeader>(header);
      m_headerOffset = offset;
      return BRAMRESULT_OK;
    }
    if (m_header == nullptr) {
      m_header = std::make_unique<PackageHeader>(header);
      m_headerOffset = offset;
    }
  }
  if (m_header == nullptr) return BRAMRESULT_UNSUPPORTED;
  m_file = std::move(file);
  return BRAMRESULT_IO_FAILURE;
}

BramResult PatchPackage::ReadRecord(std::uint32_t index, PackageRecord* record) {
  if (m_file == nullptr || m_header == nullptr) return BRAMRESULT_NOT_OPEN;
  std::uint64_t offset = m_header->m_tableOffset + std::uint64_t{PACKAGE_RECORD_SIZE} * index;
  if (offset < m_header->m_tableOffset) return BRAMRESULT_END_OF_DATA;
  BramResult result = m_file->SetPosition(offset);
  if (result != BRAMRESULT_OK) return result;
  std::uint8_t bytes[PACKAGE_RECORD_SIZE];
  result = m_file->ReadData(bytes, PACKAGE_RECORD_SIZE);
  if (result != BRAMRESULT_OK) return result;
  *record = DecodePackageRecord(bytes);
  return BRAMRESULT_OK;
}

BramResult PatchPackage::ReadRecords(std::vector<PackageRecord>* records) {
  records->clear();
  if (m_header == nullptr) return BRAMRESULT_NOT_OPEN;
  for (std::uint32_t i = 0; i < m_header->m_recordCount; ++i) {
    PackageRecord record;
    BramResult result = ReadRecord(i, &record);
    if (result != BRAMRESULT_OK) return result;
    records->push_back(std::move(record));
  }
  return BRAMRESULT_OK;
}

std::vector<std::string> PatchPackage::FindApplicableVersions(const std::string& install_dir) {
  std::vector<std::string> versions;
  if (m_file == nullptr || m_header == nullptr) return versions;
  for (std::uint32_t i = 0; i < m_header->m_recordCount; ++i) {
    PackageRecord record;
    if (ReadRecord(i, &record) != BRAMRESULT_OK) break;
    std::string joined;
    std::string error;
    if (!ResolveSafePath(install_dir, record.m_identifyingFile, "the package's records", &joined,
                         &error)) {
      LogPrintf("PatchPackage::FindApplicableVersions> %s", error.c_str());
      continue;
    }
    // Checked again for every record, even when several name the same file.
    std::string checksum;
    if (ComputeFileChecksum(JoinPath(install_dir, record.m_identifyingFile), &checksum) &&
        checksum == record.m_checksum) {
      versions.push_back(record.m_sourceVersion);
    }
  }
  return versions;
}

std::string PatchPackage::GetTargetVersion(const std::string& source_version) {
  if (m_header == nullptr) return "";
  for (std::uint32_t i = 0; i < m_header->m_recordCount; ++i) {
    PackageRecord record;
    if (ReadRecord(i, &record) != BRAMRESULT_OK) break;
    if (record.m_sourceVersion == source_version) return record.m_targetVersion;
  }
  return "";
}

BramResult PatchPackage::ExtractArchive(const std::string& source_version,
                                        const std::string& output_path) {
  if (m_file == nullptr || m_header == nullptr) return BRAMRESULT_NOT_OPEN;
  for (std::uint32_t i = 0; i < m_header->m_recordCount; ++i) {
    PackageRecord record;
    BramResult result = ReadRecord(i, &record);
    if (result != BRAMRESULT_OK) return result;
    if (record.m_sourceVersion != source_version) continue;

    const std::uint64_t size = m_file->GetSize();
    if (record.m_archiveOffset > size || record.m_archiveLength > size - record.m_archiveOffset) {
      LogPrintf(
          "PatchPackage::ExtractArchive> archive of %s at %llu (%llu bytes) lies outside "
          "the file",
          source_version.c_str(), static_cast<unsigned long long>(record.m_archiveOffset),
          static_cast<unsigned long long>(record.m_archiveLength));
      return BRAMRESULT_END_OF_DATA;
    }
    BramResult copied;
    {
      BramDataBufferFile output(output_path, BRAMFILE_MODE_CREATE);
      if (!output.IsOpen()) return BRAMRESULT_NOT_ALLOWED;
      copied = m_file->SetPosition(record.m_archiveOffset);
      if (copied == BRAMRESULT_OK) {
        copied = BramUtil::CopyData(output, *m_file, record.m_archiveLength);
      }
    }
    if (copied != BRAMRESULT_OK) DeletePath(output_path);
    return copied;
  }
  return BRAMRESULT_NOT_FOUND;
}

}  // namespace BramPatch

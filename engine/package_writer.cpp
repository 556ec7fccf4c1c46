#include "engine/package_writer.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "engine/archive_reader.h"
#include "engine/package_reader.h"
#include "foundation/paths.h"
#include "kit/copy_data.h"
#include "kit/data_buffer_file.h"
#include "platform/replace_file.h"

namespace BramPatch {

namespace {

bool WriteBytes(BramDataBufferFile& out, const std::string& bytes) {
  return out.WriteData(bytes.data(), static_cast<std::uint32_t>(bytes.size())) == BRAMRESULT_OK;
}

bool CopyFileInto(BramDataBufferFile& out, const std::string& path, std::uint64_t count) {
  BramDataBufferFile in(path, BRAMFILE_MODE_READ);
  return in.IsOpen() && in.GetSize() >= count &&
         BramUtil::CopyData(out, in, count) == BRAMRESULT_OK;
}

}  // namespace

bool WritePackage(const std::string& executable_path, const std::vector<PackageInput>& inputs,
                  const std::string& output_path, std::string* error) {
  if (inputs.empty()) {
    *error = "a package needs at least one archive";
    return false;
  }
  std::set<std::string> sources;
  std::vector<std::uint64_t> lengths;
  for (const PackageInput& input : inputs) {
    if (!CheckPackageRecordTexts(input.m_record, error)) return false;
    if (!sources.insert(input.m_record.m_sourceVersion).second) {
      *error = "two archives for source build " + input.m_record.m_sourceVersion;
      return false;
    }
    PatchArchiveReader reader;
    if (!reader.Open(input.m_archivePath)) {
      *error = reader.GetError();
      return false;
    }
    std::uint64_t length = 0;
    if (QueryFileSize(input.m_archivePath, &length) != BRAMRESULT_OK) {
      *error = "cannot read " + input.m_archivePath;
      return false;
    }
    lengths.push_back(length);
  }

  // The image: the whole executable, or what lies before a package it holds.
  std::uint64_t image = 0;
  if (QueryFileSize(executable_path, &image) != BRAMRESULT_OK) {
    *error = "cannot read " + executable_path;
    return false;
  }
  if (!BramDataBufferFile(executable_path, BRAMFILE_MODE_READ).IsOpen()) {
    *error = "cannot read " + executable_path;
    return false;
  }
  PatchPackage existing;
  if (existing.OpenPackage(executable_path) == BRAMRESULT_OK) image = existing.GetHeaderOffset();

  const std::uint64_t header_offset =
      (image + PACKAGE_ALIGNMENT - 1) / PACKAGE_ALIGNMENT * PACKAGE_ALIGNMENT;
  std::vector<PackageRecord> records;
  std::uint64_t offset = header_offset + PACKAGE_HEADER_SIZE;
  for (size_t i = 0; i < inputs.size(); ++i) {
    PackageRecord record = inputs[i].m_record;
    record.m_archiveOffset = offset;
    record.m_archiveLength = lengths[i];
    offset += lengths[i];
    records.push_back(record);
  }
  PackageHeader header;
  header.m_recordCount = static_cast<std::uint32_t>(records.size());
  header.m_tableOffset = offset;
  const std::uint64_t total = offset + std::uint64_t{PACKAGE_RECORD_SIZE} * records.size();
  if (total > 0xFFFFFFFFu) {
    *error = "the package would be " + std::to_string(total) +
             " bytes; its header holds sizes below 4 GiB";
    return false;
  }
  header.m_totalSize = static_cast<std::uint32_t>(total);

  std::string target = output_path;
  NormalizeSeparators(target);
  const std::string partial = target + ".partial";
  bool ok;
  {
    BramDataBufferFile out(partial, BRAMFILE_MODE_CREATE);
    ok = out.IsOpen() && CopyFileInto(out, executable_path, image) &&
         WriteBytes(out, std::string(header_offset - image, '\0')) &&
         WriteBytes(out, EncodePackageHeader(header));
    for (size_t i = 0; ok && i < inputs.size(); ++i) {
      ok = CopyFileInto(out, inputs[i].m_archivePath, lengths[i]);
    }
    for (size_t i = 0; ok && i < records.size(); ++i) {
      ok = WriteBytes(out, EncodePackageRecord(records[i]));
    }
    ok = ok && out.GetSize() == total;
  }
  std::error_code ec;
  if (ok) {
    std::filesystem::permissions(partial,
                                 std::filesystem::status(executable_path, ec).permissions(), ec);
  }
  if (!ok || !ReplaceFileAtomically(partial, target)) {
    DeletePath(partial);
    *error = "cannot write " + output_path;
    return false;
  }
  return true;
}

}  // namespace BramPatch

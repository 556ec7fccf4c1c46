#include "tools/patchkit_commands.h"

#include <cstdio>
#include <ostream>

#include "engine/archive_reader.h"
#include "engine/archive_writer.h"
#include "engine/package_reader.h"
#include "engine/package_writer.h"
#include "foundation/paths.h"
#include "kit/file_checksum.h"

namespace BramPatch {

namespace {

int Failed(std::string* error, const std::string& text) {
  *error = text;
  return PATCHKIT_EXIT_FAILURE;
}

std::string Plural(std::uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Counts(std::uint64_t directories, std::uint64_t files, std::uint64_t bytes) {
  return Plural(directories, "folder", "folders") + ", " + Plural(files, "file", "files") + ", " +
         Plural(bytes, "byte", "bytes");
}

std::string Column(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

}  // namespace

int RunPack(const std::string& directory, const std::string& archive, std::ostream& out,
            std::string* error) {
  std::vector<PackItem> items;
  std::string reason;
  if (!PackDirectory(directory, archive, &reason, &items)) return Failed(error, reason);
  std::uint64_t directories = 0;
  std::uint64_t bytes = 0;
  for (const PackItem& item : items) {
    directories += item.m_isDirectory ? 1 : 0;
    bytes += item.m_size;
  }
  out << "packed " << Counts(directories, items.size() - directories, bytes) << " into " << archive
      << "\n";
  return PATCHKIT_EXIT_OK;
}

int RunUnpack(const std::string& archive, const std::string& directory, std::ostream& out,
              std::string* error) {
  if (!MakeDirectory(directory)) return Failed(error, "cannot create the folder " + directory);
  UnpackCounts counts;
  std::string reason;
  if (!UnpackArchive(archive, directory, &reason, &counts)) return Failed(error, reason);
  out << "unpacked " << Counts(counts.m_directories, counts.m_files, counts.m_bytes) << " into "
      << directory << "\n";
  return PATCHKIT_EXIT_OK;
}

int RunList(const std::string& archive, std::ostream& out, std::string* error) {
  std::vector<ArchiveListing> listing;
  std::string reason;
  if (!ListArchive(archive, &listing, &reason)) return Failed(error, reason);
  std::uint64_t directories = 0;
  std::uint64_t bytes = 0;
  for (const ArchiveListing& item : listing) {
    directories += item.m_entry.m_isDirectory ? 1 : 0;
    bytes += item.m_size;
    out << Column(item.m_entry.m_isDirectory ? "folder" : std::to_string(item.m_size), 12) << "  "
        << item.m_entry.m_name << "\n";
  }
  out << Counts(directories, listing.size() - directories, bytes) << "\n";
  return PATCHKIT_EXIT_OK;
}

int RunMd5(const std::vector<std::string>& files, std::ostream& out, std::string* error) {
  for (const std::string& file : files) {
    std::string checksum;
    if (IsDirectory(file) || !ComputeFileChecksum(file, &checksum)) {
      return Failed(error, "cannot read " + file);
    }
    out << checksum << "  " << file << "\n";
  }
  return PATCHKIT_EXIT_OK;
}

int RunPackageCreate(const std::string& executable, const std::string& output,
                     const std::vector<PatchkitRecordArgs>& records, std::ostream& out,
                     std::string* error) {
  std::vector<PackageInput> inputs;
  for (const PatchkitRecordArgs& args : records) {
    PackageInput input;
    input.m_record.m_sourceVersion = args.m_source;
    input.m_record.m_targetVersion = args.m_target;
    input.m_record.m_identifyingFile = args.m_identifyingFile;
    input.m_record.m_checksum = args.m_checksum;
    input.m_archivePath = args.m_archive;
    inputs.push_back(std::move(input));
  }
  std::string reason;
  if (!WritePackage(executable, inputs, output, &reason)) return Failed(error, reason);
  PatchPackage package;
  if (package.OpenPackage(output) != BRAMRESULT_OK) {
    return Failed(error, "the package written to " + output + " does not read back");
  }
  out << "wrote " << output << ": " << Plural(records.size(), "archive", "archives")
      << ", package at offset " << package.GetHeaderOffset() << ", "
      << Plural(package.GetHeader()->m_totalSize, "byte", "bytes") << " in all\n";
  return PATCHKIT_EXIT_OK;
}

int RunPackageList(const std::string& path, std::ostream& out, std::string* error) {
  PatchPackage package;
  BramResult result = package.OpenPackage(path);
  if (result == BRAMRESULT_UNSUPPORTED) return Failed(error, path + " holds no package");
  if (result == BRAMRESULT_IO_FAILURE && package.GetHeader() == nullptr) {
    return Failed(error, "cannot read " + path);
  }
  if (result != BRAMRESULT_OK) {
    std::uint64_t size = 0;
    QueryFileSize(path, &size);
    return Failed(
        error, path + ": the package states " + std::to_string(package.GetHeader()->m_totalSize) +
                   " bytes but the file has " + std::to_string(size) + " (truncated or extended)");
  }
  std::vector<PackageRecord> records;
  result = package.ReadRecords(&records);
  if (result != BRAMRESULT_OK) {
    return Failed(
        error, path + ": the record table cannot be read (result " + std::to_string(result) + ")");
  }
  out << "package at offset " << package.GetHeaderOffset() << ", "
      << Plural(records.size(), "record", "records") << ", "
      << Plural(package.GetHeader()->m_totalSize, "byte", "bytes") << "\n";
  for (const PackageRecord& record : records) {
    out << record.m_sourceVersion << " -> " << record.m_targetVersion << "  "
        << record.m_identifyingFile << "  " << record.m_checksum << "  archive at "
        << record.m_archiveOffset << ", " << Plural(record.m_archiveLength, "byte", "bytes")
        << "\n";
  }
  return PATCHKIT_EXIT_OK;
}

int RunPackageExtract(const std::string& path, const std::string& source, const std::string& output,
                      std::ostream& out, std::string* error) {
  PatchPackage package;
  BramResult result = package.OpenPackage(path);
  if (result == BRAMRESULT_UNSUPPORTED) return Failed(error, path + " holds no package");
  if (result != BRAMRESULT_OK) return Failed(error, "cannot read the package in " + path);
  result = package.ExtractArchive(source, output);
  switch (result) {
    case BRAMRESULT_OK:
      break;
    case BRAMRESULT_NOT_FOUND:
      return Failed(error, path + " holds no archive for build " + source);
    case BRAMRESULT_NOT_ALLOWED:
      return Failed(error, "cannot create " + output);
    case BRAMRESULT_END_OF_DATA:
      return Failed(error, path + ": the record for build " + source + " points outside the file");
    default:
      return Failed(error, path + ": cannot copy the archive for build " + source + " (result " +
                               std::to_string(result) + ")");
  }
  std::uint64_t size = 0;
  QueryFileSize(output, &size);
  out << "extracted the archive for build " << source << " (" << Plural(size, "byte", "bytes")
      << ") to " << output << "\n";
  return PATCHKIT_EXIT_OK;
}

}  // namespace BramPatch

#include "engine/archive_reader.h"

#include "engine/le_fields.h"
#include "foundation/path_guard.h"
#include "foundation/paths.h"
#include "foundation/utf.h"
#include "kit/compressed_stream.h"
#include "kit/data_buffer_file.h"
#include "kit/data_buffer_memory_static.h"

namespace BramPatch {

namespace {

// A name stream holds the unit count and the units; one byte more than the
// largest allowed name tells an overlong name from a full-length one.
constexpr std::uint32_t ARCHIVE_NAME_AREA = 4 + 2 * ARCHIVE_MAX_NAME_UNITS + 1;

void SetError(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
}

}  // namespace

bool IsArchiveDirectoryName(const std::string& name) {
  size_t last = name.find_last_of("\\/");
  if (last != std::string::npos && last + 1 == name.size()) return true;
  size_t start = last == std::string::npos ? 0 : last + 1;
  return name.find('.', start) == std::string::npos;
}

PatchArchiveReader::PatchArchiveReader() = default;
PatchArchiveReader::~PatchArchiveReader() = default;

bool PatchArchiveReader::Fail(const std::string& what) {
  m_error = m_entryName.empty() ? m_path + ": " + what
                                : m_path + ": entry \"" + m_entryName + "\": " + what;
  m_file.reset();
  return false;
}

bool PatchArchiveReader::Open(const std::string& path) {
  m_path = path;
  m_entryName.clear();
  m_error.clear();
  m_file = std::make_unique<BramDataBufferFile>(path, BRAMFILE_MODE_READ);
  if (!m_file->IsOpen()) return Fail("cannot open the archive");
  std::uint8_t word[4];
  if (m_file->ReadData(word, 4) != BRAMRESULT_OK) return Fail("too short for an archive");
  std::uint32_t version = LoadLe32(word);
  if (version != ARCHIVE_FORMAT_VERSION) {
    return Fail("unknown archive version " + std::to_string(version) + " (expected 1)");
  }
  return true;
}

bool PatchArchiveReader::AtEnd() const {
  return m_file == nullptr || m_file->GetPosition() >= m_file->GetSize();
}

bool PatchArchiveReader::ReadEntryName(ArchiveEntry* entry) {
  if (m_file == nullptr) return Fail("not open");
  m_entryName.clear();
  std::uint64_t at = m_file->GetPosition();
  m_nameArea.resize(ARCHIVE_NAME_AREA);
  BramDataBufferMemoryStatic area(m_nameArea.data(), ARCHIVE_NAME_AREA);
  BramResult result = BramUtil::DecompressData(area, *m_file);
  if (area.GetPosition() == ARCHIVE_NAME_AREA) {
    return Fail("entry name at offset " + std::to_string(at) + " is longer than " +
                std::to_string(ARCHIVE_MAX_NAME_UNITS) + " characters");
  }
  if (result != BRAMRESULT_OK) {
    return Fail("damaged or truncated entry name at offset " + std::to_string(at) + " (result " +
                std::to_string(result) + ")");
  }
  std::uint64_t length = area.GetPosition();
  if (length < 4 || length != 4 + 2 * std::uint64_t{LoadLe32(m_nameArea.data())}) {
    return Fail("malformed entry name at offset " + std::to_string(at));
  }
  std::u16string units = LeBytesToUtf16(
      std::string_view(reinterpret_cast<const char*>(m_nameArea.data()) + 4, length - 4));
  std::string name = Utf16ToUtf8(units);
  if (units.find(u'\0') != std::u16string::npos || Utf8ToUtf16(name) != units) {
    m_entryName = name;
    return Fail("entry name holds NUL or a lone surrogate");
  }
  m_entryName = name;
  entry->m_name = std::move(name);
  entry->m_isDirectory = IsArchiveDirectoryName(entry->m_name);
  return true;
}

bool PatchArchiveReader::ReadEntryData(BramDataBuffer& destination) {
  if (m_file == nullptr) return Fail("not open");
  BramResult result = BramUtil::DecompressData(destination, *m_file);
  if (result != BRAMRESULT_OK) {
    return Fail("damaged or truncated data (result " + std::to_string(result) + ")");
  }
  return true;
}

bool PatchArchiveReader::SkipEntryData(std::uint64_t* size) {
  if (m_file == nullptr) return Fail("not open");
  *size = 0;
  std::uint8_t field[8];
  if (m_file->ReadData(field, 4) != BRAMRESULT_OK) return Fail("truncated data");
  std::uint32_t blocks = LoadLe32(field);
  for (std::uint32_t i = 0; i < blocks; ++i) {
    if (m_file->ReadData(field, 8) != BRAMRESULT_OK) return Fail("truncated data");
    std::uint32_t c = LoadLe32(field);
    std::uint32_t u = LoadLe32(field + 4);
    std::uint64_t position = m_file->GetPosition();
    if (u > BRAMUTIL_MAX_BLOCK_SIZE || c > BramUtilCompressedBound(u)) {
      return Fail("damaged data (bad block lengths)");
    }
    if (c > m_file->GetSize() - position) return Fail("truncated data");
    if (m_file->SetPosition(position + c) != BRAMRESULT_OK) return Fail("cannot read the data");
    *size += u;
  }
  return true;
}

bool ListArchive(const std::string& archive_path, std::vector<ArchiveListing>* listing,
                 std::string* error) {
  listing->clear();
  PatchArchiveReader reader;
  if (!reader.Open(archive_path)) {
    SetError(error, reader.GetError());
    return false;
  }
  while (!reader.AtEnd()) {
    ArchiveListing item;
    if (!reader.ReadEntryName(&item.m_entry) ||
        (!item.m_entry.m_isDirectory && !reader.SkipEntryData(&item.m_size))) {
      SetError(error, reader.GetError());
      return false;
    }
    listing->push_back(std::move(item));
  }
  return true;
}

bool UnpackArchive(const std::string& archive_path, const std::string& destination_dir,
                   std::string* error, UnpackCounts* counts) {
  UnpackCounts done;
  PatchArchiveReader reader;
  bool ok = reader.Open(archive_path);
  std::string reason = reader.GetError();
  while (ok && !reader.AtEnd()) {
    ArchiveEntry entry;
    std::string joined;
    if (!reader.ReadEntryName(&entry)) {
      reason = reader.GetError();
      ok = false;
    } else if (!ResolveSafePath(destination_dir, entry.m_name, archive_path, &joined, &reason)) {
      ok = false;
    } else if (entry.m_isDirectory) {
      ok = MakeDirectory(joined);
      if (!ok) reason = "cannot create the folder " + joined;
      done.m_directories += ok ? 1 : 0;
    } else {
      BramDataBufferFile output(joined, BRAMFILE_MODE_CREATE);
      if (!output.IsOpen()) {
        reason = "cannot create " + joined;
        ok = false;
      } else if (!reader.ReadEntryData(output)) {
        reason = reader.GetError();
        ok = false;
        DeletePath(joined);  // its bytes are not the archive's
      } else {
        done.m_files += 1;
        done.m_bytes += output.GetSize();
      }
    }
  }
  if (counts != nullptr) *counts = done;
  if (!ok) SetError(error, reason);
  return ok;
}

}  // namespace BramPatch

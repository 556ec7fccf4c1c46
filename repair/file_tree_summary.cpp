#include "repair/file_tree_summary.h"

#include <memory>

#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/utf.h"
#include "kit/data_buffer.h"
#include "kit/data_buffer_file.h"
#include "kit/scratch_area.h"
#include "repair/segment_checksum.h"
#include "repair/segment_key.h"

namespace {

void AppendLittleEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t FromLittleEndian(const std::uint8_t* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | in[i];
  return value;
}

BramResult ReadLittleEndian(BramDataBuffer& buffer, int bytes, std::uint64_t* value) {
  std::uint8_t raw[8];
  const BramResult result = buffer.ReadData(raw, static_cast<std::uint32_t>(bytes));
  if (result == BRAMRESULT_OK) *value = FromLittleEndian(raw, bytes);
  return result;
}

// The UTF-16 key of a segment of `path` (UTF-16 already).
std::u16string SegmentKey16(const std::u16string& path, std::uint32_t index) {
  return Utf8ToUtf16(MakeSegmentKey(Utf16ToUtf8(path), index));
}

}  // namespace

bool ReadSegmentFromFile(const std::string& full_key, std::uint8_t* bytes, std::uint32_t* length) {
  const std::string path(SegmentKeyPath(full_key));
  const std::uint64_t offset = SegmentOffset(SegmentKeyIndex(full_key));
  BramDataBufferFile file(path, BRAMFILE_MODE_READ);
  if (!file.IsOpen()) {
    LogPrintf("ReadFileSegment> unabled to open file: %s", path.c_str());
    return false;
  }
  const std::uint64_t size = file.GetSize();
  const std::uint64_t end = size < offset + SEGMENT_SIZE ? size : offset + SEGMENT_SIZE;
  if (offset > end) {
    LogPrintf("ReadFileSegment> segment past end of file for: %s", path.c_str());
    return false;
  }
  if (file.SetPosition(offset) != BRAMRESULT_OK) {
    LogPrintf("ReadFileSegment> unabled to seek file: %s", path.c_str());
    return false;
  }
  const auto count = static_cast<std::uint32_t>(end - offset);
  if (count > 0 && file.ReadData(bytes, count) != BRAMRESULT_OK) {
    LogPrintf("ReadFileSegment> unabled to read from file: %s", path.c_str());
    return false;
  }
  *length = count;
  return true;
}

BramResult FileTreeSummary::LoadSummary(BramDataBuffer& buffer) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  m_entries.clear();
  std::uint64_t magic = 0;
  BramResult result = ReadLittleEndian(buffer, 4, &magic);
  if (result != BRAMRESULT_OK) return result;
  if (magic != SUMMARY_MAGIC) return BRAMRESULT_BAD_FORMAT;
  std::uint64_t count = 0;
  result = ReadLittleEndian(buffer, 4, &count);
  if (result != BRAMRESULT_OK) return result;
  if (count > SUMMARY_MAX_ENTRIES) return BRAMRESULT_BAD_FORMAT;

  std::string raw_key;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t length = 0;
    result = ReadLittleEndian(buffer, 4, &length);
    if (result != BRAMRESULT_OK) return result;
    if (length == 0 || length > SUMMARY_MAX_KEY_LENGTH) return BRAMRESULT_BAD_FORMAT;
    raw_key.resize(2 * length);
    result = buffer.ReadData(raw_key.data(), static_cast<std::uint32_t>(raw_key.size()));
    if (result != BRAMRESULT_OK) return result;
    std::uint64_t checksum = 0;
    std::uint64_t time = 0;
    result = ReadLittleEndian(buffer, 4, &checksum);
    if (result == BRAMRESULT_OK) result = ReadLittleEndian(buffer, 8, &time);
    if (result != BRAMRESULT_OK) return result;
    SummaryEntry& entry = m_entries[LeBytesToUtf16(raw_key)];
    entry.checksum = static_cast<std::uint32_t>(checksum);
    entry.time = static_cast<std::int64_t>(time);
    entry.seen = false;
  }
  return BRAMRESULT_OK;
}

BramResult FileTreeSummary::SaveSummary(BramDataBuffer& buffer) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  std::size_t total = 8;
  for (const auto& [key, entry] : m_entries) total += 16 + 2 * key.size();
  std::string bytes;
  bytes.reserve(total);
  AppendLittleEndian(bytes, SUMMARY_MAGIC, 4);
  AppendLittleEndian(bytes, m_entries.size(), 4);
  for (const auto& [key, entry] : m_entries) {
    AppendLittleEndian(bytes, key.size(), 4);
    bytes += Utf16ToLeBytes(key);
    AppendLittleEndian(bytes, entry.checksum, 4);
    AppendLittleEndian(bytes, static_cast<std::uint64_t>(entry.time), 8);
  }
  // One serialised block, written in few calls: a network buffer sends it in
  // one operation instead of four per entry.
  constexpr std::size_t PIECE = std::size_t{1} << 30;
  for (std::size_t at = 0; at < bytes.size(); at += PIECE) {
    const std::size_t piece = bytes.size() - at < PIECE ? bytes.size() - at : PIECE;
    const BramResult result =
        buffer.WriteData(bytes.data() + at, static_cast<std::uint32_t>(piece));
    if (result != BRAMRESULT_OK) return result;
  }
  return BRAMRESULT_OK;
}

bool FileTreeSummary::ReadFileSegment(const std::string& full_key, std::uint8_t* bytes,
                                      std::uint32_t* length) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  return ReadSegmentFromFile(full_key, bytes, length);
}

std::uint32_t FileTreeSummary::ChecksumSegment(const std::string& full_key) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  LogPrintf(" Checksum %s ..", full_key.c_str());
  std::uint8_t* bytes = GetScratchArea(ScratchSlot::CHECKSUM, SEGMENT_SIZE);
  std::uint32_t length = 0;
  if (bytes == nullptr || !ReadFileSegment(full_key, bytes, &length)) return 0;
  return ChecksumSegmentBytes(bytes, length);
}

bool FileTreeSummary::RegisterSegment(const std::string& full_key, const std::string& key,
                                      std::uint32_t checksum) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  std::int64_t time = 0;
  if (QueryFileTime(std::string(SegmentKeyPath(full_key)), &time) != BRAMRESULT_OK) return false;

  const std::u16string key16 = Utf8ToUtf16(key);
  auto found = m_entries.find(key16);
  if (found == m_entries.end()) {
    SummaryEntry entry;
    entry.checksum = checksum != 0 ? checksum : ChecksumSegment(full_key);
    entry.time = time;
    entry.seen = true;
    m_entries.emplace(key16, entry);
  } else if (found->second.time == time && (checksum != 0 || found->second.checksum != 0)) {
    // An unchanged file keeps its checksum; a stored 0 (unreadable when
    // last scanned) is never trusted and falls through to a new read.
    if (checksum != 0) found->second.checksum = checksum;
    found->second.seen = true;
  } else {
    found->second.checksum = checksum != 0 ? checksum : ChecksumSegment(full_key);
    found->second.time = time;
    found->second.seen = true;
  }
  if (checksum != 0) RefreshSegmentTimesLocked(Utf8ToUtf16(SegmentKeyPath(key)), time);
  return true;
}

bool FileTreeSummary::RegisterFile(const std::string& full_path, const std::string& relative_path) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  std::uint64_t size = 0;
  if (QueryFileSize(full_path, &size) != BRAMRESULT_OK) {
    LogPrintf("FileTreeSummary::RegisterFile> unable to get filesize for %s", full_path.c_str());
    return false;
  }
  const std::uint64_t count = (size + SEGMENT_SIZE - 1) / SEGMENT_SIZE;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!RegisterSegment(MakeSegmentKey(full_path, i), MakeSegmentKey(relative_path, i), 0)) {
      return false;
    }
  }
  return true;
}

void FileTreeSummary::EraseSegment(const std::string& key) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  m_entries.erase(Utf8ToUtf16(key));
}

void FileTreeSummary::EraseFollowingSegments(const std::string& key) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  const std::u16string path = Utf8ToUtf16(SegmentKeyPath(key));
  for (std::uint64_t index = std::uint64_t{SegmentKeyIndex(key)} + 1; index <= 0xFFFFFFFFu;
       ++index) {
    if (m_entries.erase(SegmentKey16(path, static_cast<std::uint32_t>(index))) == 0) break;
  }
}

void FileTreeSummary::RefreshSegmentTimes(const std::string& path, std::int64_t time) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  RefreshSegmentTimesLocked(Utf8ToUtf16(path), time);
}

void FileTreeSummary::RefreshSegmentTimesLocked(const std::u16string& path, std::int64_t time) {
  for (std::uint64_t index = 0; index <= 0xFFFFFFFFu; ++index) {
    auto found = m_entries.find(SegmentKey16(path, static_cast<std::uint32_t>(index)));
    if (found == m_entries.end()) break;
    found->second.time = time;
  }
}

std::size_t FileTreeSummary::GetEntryCount() {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  return m_entries.size();
}

bool FileTreeSummary::FindEntry(const std::string& key, SummaryEntry* entry) {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  const auto found = m_entries.find(Utf8ToUtf16(key));
  if (found == m_entries.end()) return false;
  *entry = found->second;
  return true;
}

std::vector<SummaryRecord> FileTreeSummary::GetEntries() {
  std::lock_guard<std::recursive_mutex> guard(m_mutex);
  std::vector<SummaryRecord> records;
  records.reserve(m_entries.size());
  for (const auto& [key, entry] : m_entries) records.push_back({Utf16ToUtf8(key), entry});
  return records;
}

#include "engine/uninstall_log.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/le_fields.h"
#include "engine/manifest.h"
#include "foundation/log.h"
#include "foundation/path_guard.h"
#include "foundation/paths.h"
#include "platform/replace_file.h"
#include "text/text_forms.h"

namespace BramPatch {

namespace {

constexpr std::uint64_t UNINSTALL_LOG_BLOCK_SIZE =
    UNINSTALL_LOG_BLOCK_HEADER_SIZE + UNINSTALL_LOG_BLOCK_DATA_SIZE;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

FileHandle OpenFile(const std::string& path, const char* mode) {
  std::string native = path;
  NormalizeSeparators(native);
  return FileHandle(std::fopen(native.c_str(), mode));
}

std::uint32_t Crc32(std::string_view data) {
  return static_cast<std::uint32_t>(
      crc32_z(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

bool ReadAt(std::FILE* file, std::uint64_t offset, size_t count, std::string* out) {
  out->resize(count);
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  return std::fread(out->data(), 1, count, file) == count;
}

// Where the rewritten tail of the log starts and the record data it holds.
struct LogTail {
  std::uint64_t m_start = 0;  // file offset of the first block rewritten
  std::string m_data;         // the data of the blocks from m_start to the end
};

// Reads the blocks to rewrite: the last one, or the last two when the last
// holds fewer bytes than the final record (that record then spans both).
// Each block read must carry a consistent size, complement and CRC. False,
// with *why set, when the layout is not one this update can extend.
bool ReadLogTail(std::FILE* log, std::uint64_t size, LogTail* tail, std::string* why) {
  if (size < UNINSTALL_LOG_HEADER_SIZE + UNINSTALL_LOG_BLOCK_HEADER_SIZE) {
    *why = "shorter than its header and one block";
    return false;
  }
  std::uint64_t body = size - UNINSTALL_LOG_HEADER_SIZE;
  std::uint64_t whole = body / UNINSTALL_LOG_BLOCK_SIZE;
  std::uint64_t rest = body % UNINSTALL_LOG_BLOCK_SIZE;
  if (rest != 0 && rest < UNINSTALL_LOG_BLOCK_HEADER_SIZE) {
    *why = "ends inside a block header";
    return false;
  }
  // Blocks from index `first` to the end are rewritten.
  std::uint64_t blocks = whole + (rest != 0 ? 1 : 0);
  std::uint64_t last_data =
      rest != 0 ? rest - UNINSTALL_LOG_BLOCK_HEADER_SIZE : UNINSTALL_LOG_BLOCK_DATA_SIZE;
  std::uint64_t first = blocks - 1;
  if (last_data < UNINSTALL_LOG_FINAL_RECORD_SIZE) {
    if (first == 0) {
      *why = "holds fewer bytes than its final record";
      return false;
    }
    --first;
  }
  tail->m_start = UNINSTALL_LOG_HEADER_SIZE + first * UNINSTALL_LOG_BLOCK_SIZE;
  tail->m_data.clear();
  for (std::uint64_t index = first; index < blocks; ++index) {
    std::uint64_t offset = UNINSTALL_LOG_HEADER_SIZE + index * UNINSTALL_LOG_BLOCK_SIZE;
    std::uint64_t count = index + 1 == blocks ? last_data : UNINSTALL_LOG_BLOCK_DATA_SIZE;
    std::string header;
    std::string data;
    if (!ReadAt(log, offset, UNINSTALL_LOG_BLOCK_HEADER_SIZE, &header) ||
        !ReadAt(log, offset + UNINSTALL_LOG_BLOCK_HEADER_SIZE, count, &data)) {
      *why = "cannot be read";
      return false;
    }
    std::uint32_t n = LoadLe32(header.data());
    if (n != count || LoadLe32(header.data() + 4) != static_cast<std::uint32_t>(~n) ||
        LoadLe32(header.data() + 8) != Crc32(data)) {
      *why = "has a damaged block at offset " + std::to_string(offset);
      return false;
    }
    tail->m_data += data;
  }
  return true;
}

void AppendBlock(std::string* out, std::string_view data) {
  AppendLe(out, data.size(), 4);
  AppendLe(out, static_cast<std::uint32_t>(~static_cast<std::uint32_t>(data.size())), 4);
  AppendLe(out, Crc32(data), 4);
  out->append(data);
}

bool CopyRange(std::FILE* from, std::FILE* to, std::uint64_t begin, std::uint64_t end) {
  if (std::fseek(from, static_cast<long>(begin), SEEK_SET) != 0) return false;
  std::vector<char> chunk(1 << 16);
  for (std::uint64_t left = end - begin; left > 0;) {
    size_t n = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
    if (std::fread(chunk.data(), 1, n, from) != n) return false;
    if (std::fwrite(chunk.data(), 1, n, to) != n) return false;
    left -= n;
  }
  return true;
}

void Post(const UninstallLogMessageSink& post_message, int kind, const std::string& text) {
  if (post_message) post_message(kind, text);
}

}  // namespace

std::string BuildDeleteFileRecord(std::string_view narrow_path) {
  std::uint64_t length = narrow_path.size();
  std::string record;
  AppendLe(&record, UNINSTALL_LOG_RECORD_DELETE_FILE, 2);
  AppendLe(&record, 0, 4);  // extra data
  if (length <= 252) {
    AppendLe(&record, length + 2, 4);
    AppendLe(&record, length, 1);
  } else if (length <= 65535) {
    AppendLe(&record, length + 4, 4);
    AppendLe(&record, 0xFD, 1);
    AppendLe(&record, length, 2);
  } else {
    AppendLe(&record, length + 6, 4);
    AppendLe(&record, 0xFE, 1);
    AppendLe(&record, length, 4);
  }
  record.append(narrow_path);
  record.push_back(static_cast<char>(0xFF));  // end of the string list
  return record;
}

bool UpdateUninstallLog(const std::string& install_dir, const std::string& patch_dir,
                        const UninstallLogMessageSink& post_message) {
  std::vector<std::string> added;
  std::string error;
  if (!ReadAddedFileList(patch_dir, &added, &error)) {
    Post(post_message, 2, error);
    return true;
  }
  if (added.empty()) return true;

  std::string log_path = JoinPath(install_dir, UNINSTALL_LOG_NAME);
  FileHandle log = OpenFile(log_path, "r+b");
  if (!log) return true;  // an installation without a log needs no update

  // The uninstaller deletes what the records name: only paths inside the
  // installation may get one.
  std::string records;
  for (const std::string& relative : added) {
    std::string joined;
    if (!ResolveSafePath(install_dir, relative, MANIFEST_ADDED, &joined, &error)) {
      Post(post_message, 2, error);
      return false;
    }
    // The record names the file as this system spells its path.
    std::string full = JoinPath(install_dir, relative);
    NormalizeSeparators(full);
    records += BuildDeleteFileRecord(Utf8ToNarrow(full));
  }

  std::string header;
  LogTail tail;
  std::string why;
  if (std::fseek(log.get(), 0, SEEK_END) != 0) why = "cannot be read";
  long size = why.empty() ? std::ftell(log.get()) : -1;
  if (size < 0 ||
      !ReadAt(log.get(), 0, std::min<std::uint64_t>(size, UNINSTALL_LOG_HEADER_SIZE), &header) ||
      !ReadLogTail(log.get(), static_cast<std::uint64_t>(size), &tail, &why)) {
    LogPrintf("UpdateUninstallLog> %s %s; left unchanged", log_path.c_str(),
              why.empty() ? "cannot be read" : why.c_str());
    return true;
  }

  // The new tail: the old record data without its final record, the new
  // records, then the final record again, cut into blocks of 4096 bytes.
  std::string final_record =
      tail.m_data.substr(tail.m_data.size() - UNINSTALL_LOG_FINAL_RECORD_SIZE);
  std::string data = tail.m_data.substr(0, tail.m_data.size() - UNINSTALL_LOG_FINAL_RECORD_SIZE);
  std::string blocks;
  std::uint32_t blocks_written = 0;
  size_t used = 0;
  data += records;
  while (data.size() - used >= UNINSTALL_LOG_BLOCK_DATA_SIZE) {
    AppendBlock(&blocks, std::string_view(data).substr(used, UNINSTALL_LOG_BLOCK_DATA_SIZE));
    used += UNINSTALL_LOG_BLOCK_DATA_SIZE;
    ++blocks_written;
  }
  data.erase(0, used);
  data += final_record;
  used = 0;
  while (data.size() - used > UNINSTALL_LOG_BLOCK_DATA_SIZE) {
    AppendBlock(&blocks, std::string_view(data).substr(used, UNINSTALL_LOG_BLOCK_DATA_SIZE));
    used += UNINSTALL_LOG_BLOCK_DATA_SIZE;
    ++blocks_written;
  }
  AppendBlock(&blocks, std::string_view(data).substr(used));
  ++blocks_written;

  std::uint32_t record_count = LoadLe32(header.data() + UNINSTALL_LOG_HEADER_RECORDS);
  std::uint32_t end_offset = LoadLe32(header.data() + UNINSTALL_LOG_HEADER_END);
  record_count += static_cast<std::uint32_t>(added.size());
  end_offset +=
      static_cast<std::uint32_t>(records.size() + UNINSTALL_LOG_BLOCK_HEADER_SIZE * blocks_written);
  StoreLe(&header, UNINSTALL_LOG_HEADER_RECORDS, record_count, 4);
  StoreLe(&header, UNINSTALL_LOG_HEADER_END, end_offset, 4);
  StoreLe(&header, UNINSTALL_LOG_HEADER_CRC,
          Crc32(std::string_view(header).substr(0, UNINSTALL_LOG_HEADER_CRC)), 4);

  // Created exclusively, so that a stale file or link in its place is never
  // followed; a stale regular file or link is removed first.
  std::string temp_path = JoinPath(install_dir, UNINSTALL_LOG_TEMP_NAME);
  DeletePath(temp_path);
  FileHandle temp = OpenFile(temp_path, "w+bx");
  if (!temp) {
    LogPrintf("UpdateUninstallLog> cannot create %s", temp_path.c_str());
    return false;
  }
  bool written = std::fwrite(header.data(), 1, header.size(), temp.get()) == header.size() &&
                 CopyRange(log.get(), temp.get(), UNINSTALL_LOG_HEADER_SIZE, tail.m_start) &&
                 std::fwrite(blocks.data(), 1, blocks.size(), temp.get()) == blocks.size() &&
                 std::fflush(temp.get()) == 0;
  written = std::fclose(temp.release()) == 0 && written;
  log.reset();
  if (!written) {
    LogPrintf("UpdateUninstallLog> cannot write %s", temp_path.c_str());
    DeletePath(temp_path);
    return false;
  }
  // The new log keeps the old one's permissions.
  std::string native_temp = temp_path;
  std::string native_log = log_path;
  NormalizeSeparators(native_temp);
  NormalizeSeparators(native_log);
  std::error_code ignored;
  std::filesystem::permissions(native_temp,
                               std::filesystem::status(native_log, ignored).permissions(), ignored);
  if (!ReplaceFileAtomically(temp_path, log_path)) {
    LogPrintf("UpdateUninstallLog> cannot rename %s over %s", temp_path.c_str(), log_path.c_str());
  }
  return true;
}

}  // namespace BramPatch

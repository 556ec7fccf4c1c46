#include "repair/agent_client_task.h"

#include <filesystem>
#include <system_error>

#include "foundation/log.h"
#include "foundation/path_guard.h"
#include "foundation/paths.h"
#include "foundation/utf.h"
#include "kit/compressed_stream.h"
#include "kit/data_buffer_file.h"
#include "kit/little_endian.h"
#include "repair/agent_client.h"
#include "repair/bounded_data_buffer.h"
#include "repair/data_buffer_tcp.h"
#include "repair/repair_protocol.h"
#include "repair/segment_checksum.h"
#include "repair/segment_key.h"

namespace {

constexpr char RECORD_CONTEXT[] = "repair record";

BramResult ReadU32(BramDataBuffer& buffer, std::uint32_t* value) {
  std::uint8_t raw[4];
  const BramResult result = buffer.ReadData(raw, 4);
  if (result == BRAMRESULT_OK) *value = LoadLittleEndian32(raw);
  return result;
}

// The file a key names below the root, or false (logged) when the key's
// path is unsafe there.
bool ResolveKeyPath(const std::string& root, const std::string& key, std::string* path) {
  std::string error;
  if (ResolveSafePath(root, SegmentKeyPath(key), RECORD_CONTEXT, path, &error)) return true;
  LogPrintf("BramAgentClientTask> %s", error.c_str());
  return false;
}

// A symbolic link at the file's place is replaced, never written through:
// the repaired file is a regular file like the server's.
void RemoveLinkAt(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) DeletePath(path);
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t separator = path.find_last_of('/');
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

}  // namespace

BramAgentClientTask::~BramAgentClientTask() {
  if (!m_helper.joinable()) return;
  {
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [this] { return !m_job && !m_decompressing && !m_writing; });
    m_stop = true;
  }
  m_changed.notify_all();
  m_helper.join();
}

void BramAgentClientTask::HelperLoop() {
  std::unique_lock<std::mutex> lock(m_lock);
  for (;;) {
    m_changed.wait(lock, [this] { return m_stop || m_job; });
    if (!m_job) return;  // stopping
    std::function<void()> job = std::move(m_job);
    m_job = nullptr;
    lock.unlock();
    job();
    lock.lock();
  }
}

void BramAgentClientTask::RunOnHelper(std::atomic<bool>& flag, std::function<void()> job) {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    flag.store(true);
    m_job = [this, &flag, job = std::move(job)] {
      job();
      std::lock_guard<std::mutex> done(m_lock);
      flag.store(false);
      m_changed.notify_all();
    };
    if (!m_helper.joinable()) m_helper = std::thread([this] { HelperLoop(); });
  }
  m_changed.notify_all();
}

void BramAgentClientTask::WaitUntilClear(const std::atomic<bool>& flag) {
  std::unique_lock<std::mutex> lock(m_lock);
  m_changed.wait(lock, [&flag] { return !flag.load(); });
}

void BramAgentClientTask::Release() {
  m_owner = nullptr;
  m_writebegun = false;
}

bool BramAgentClientTask::ReceiveFile(BramAgentClient& client) {
  if (m_owner != nullptr) {
    LogPrintf("BramAgentClientTask::ReceiveFile> called while already busy");
    return false;
  }
  m_owner = &client;
  m_compressed = false;
  m_key.clear();
  m_checksum = 0;
  m_result.store(true);

  BramDataBuffer& connection = *client.m_connection;
  const auto failed = [this](BramResult error) {
    LogPrintf("BramAgentClientTask::ReceiveFile> error %d", static_cast<int>(error));
    m_plain.SetSize(0);
    m_compressedbuffer.SetSize(0);
    Release();
    return false;
  };

  std::uint8_t flag = 0;
  std::uint32_t key_length = 0;
  BramResult result = connection.ReadData(&flag, 1);
  if (result == BRAMRESULT_OK) result = ReadU32(connection, &key_length);
  if (result != BRAMRESULT_OK) return failed(result);
  if (key_length == 0 || key_length > SUMMARY_MAX_KEY_LENGTH) {
    LogPrintf("BramAgentClientTask::ReceiveFile> key length %u out of bounds", key_length);
    Release();
    return false;
  }
  std::string raw_key(2 * std::size_t{key_length}, '\0');
  std::uint32_t checksum = 0;
  std::uint32_t length = 0;
  result = connection.ReadData(raw_key.data(), 2 * key_length);
  if (result == BRAMRESULT_OK) result = ReadU32(connection, &checksum);
  if (result == BRAMRESULT_OK) result = ReadU32(connection, &length);
  if (result != BRAMRESULT_OK) return failed(result);
  // Keys separate components with '\'; a '/' is taken as one too, so that
  // exclusions and the summary see the key in its one form.
  std::string key = Utf16ToUtf8(LeBytesToUtf16(raw_key));
  NormalizeSeparators(key, '\\');
  const bool compressed = flag != 0;

  if ((checksum == 0 && (compressed || length > 0)) || (compressed && length == 0)) {
    LogPrintf("BramAgentClientTask::ReceiveFile> mismatched flags from server");
    Release();
    return false;
  }
  if (!IsCanonicalSegmentKey(key) || SegmentKeyIndex(key) > REPAIR_MAX_SEGMENT_INDEX) {
    LogPrintf("BramAgentClientTask::ReceiveFile> malformed key %s", key.c_str());
    Release();
    return false;
  }
  std::string path;
  if (!ResolveKeyPath(client.m_root, key, &path)) {
    Release();
    return false;
  }
  if (length > (compressed ? REPAIR_MAX_COMPRESSED_LENGTH : REPAIR_MAX_PLAIN_LENGTH)) {
    LogPrintf("BramAgentClientTask::ReceiveFile> data length %u too large for %s", length,
              key.c_str());
    Release();
    return false;
  }

  // The data goes straight into the slot's buffer, whose memory stays
  // allocated from segment to segment.
  BramDataBufferMemoryDynamic& target = compressed ? m_compressedbuffer : m_plain;
  result = target.SetSize(length);
  if (result == BRAMRESULT_OK && length > 0) result = connection.ReadData(target.GetData(), length);
  if (result != BRAMRESULT_OK) return failed(result);
  m_plain.SetPosition(0);
  m_compressedbuffer.SetPosition(0);
  m_key = key;
  m_checksum = checksum;
  m_compressed = compressed;

  if (client.IsExcludedPath(SegmentKeyPath(key))) {
    LogPrintf("BramAgentClientTask::ReceiveFile> leaving excluded file alone: %s", path.c_str());
    m_plain.SetSize(0);
    m_compressedbuffer.SetSize(0);
    Release();
  } else if (compressed) {
    RunOnHelper(m_decompressing, [this] { ThreadedDecompress(); });
  }
  client.m_received.fetch_add(1);
  return true;
}

void BramAgentClientTask::ThreadedDecompress() {
  m_plain.SetSize(0);
  BoundedDataBuffer bounded(m_plain, SEGMENT_SIZE);
  const BramResult result = BramUtil::DecompressData(bounded, m_compressedbuffer);
  m_compressedbuffer.SetSize(0);
  m_plain.SetPosition(0);
  m_result.store(result == BRAMRESULT_OK);
  if (result != BRAMRESULT_OK) {
    LogPrintf("BramAgentClientTask::ThreadedDecompress> error %d", static_cast<int>(result));
  }
}

bool BramAgentClientTask::WriteFileBegin() {
  if (m_owner == nullptr || m_writebegun) return true;
  if (m_writing.load()) {
    LogPrintf("BramAgentClientTask::WriteFileBegin> called while already busy");
    return false;
  }
  WaitUntilClear(m_decompressing);
  if (!m_result.load()) {
    m_plain.SetSize(0);
    m_compressedbuffer.SetSize(0);
    Release();
    return false;
  }
  m_writebegun = true;
  RunOnHelper(m_writing, [this] { m_result.store(WriteSegment()); });
  return true;
}

bool BramAgentClientTask::WriteFileEnd() {
  if (m_owner == nullptr) return true;
  if (!m_writebegun && !WriteFileBegin()) return false;
  WaitUntilClear(m_writing);
  m_plain.SetSize(0);
  const bool result = m_result.load();
  Release();
  return result;
}

bool BramAgentClientTask::WriteSegment() {
  // The tree may have changed since the record arrived: the path is checked
  // again right before the write.
  std::string path;
  if (!ResolveKeyPath(m_owner->m_root, m_key, &path)) return false;
  const std::uint64_t offset = SegmentOffset(SegmentKeyIndex(m_key));
  RemoveLinkAt(path);
  ClearReadOnly(path);
  return m_checksum != 0 ? WriteData(path, offset) : WriteNoData(path, offset);
}

bool BramAgentClientTask::WriteData(const std::string& path, std::uint64_t offset) {
  const auto size = static_cast<std::uint32_t>(m_plain.GetSize());
  if (ChecksumSegmentBytes(m_plain.GetData(), size) != m_checksum) {
    LogPrintf("   error: checksum mismatch for %s", path.c_str());
    return false;
  }
  FileTreeSummary& summary = m_owner->m_summary;
  MakeDirectory(DirectoryOf(path));
  {
    BramDataBufferFile file(path, BRAMFILE_MODE_UPDATE);
    if (!file.IsOpen()) {
      LogPrintf("   warning: failed to open path %s", path.c_str());
      return false;
    }
    if (file.GetSize() < offset) file.SetSize(offset);
    if (file.SetPosition(offset) != BRAMRESULT_OK) {
      LogPrintf("   error: failed to set file position for %s", path.c_str());
      return false;
    }
    const BramResult written = file.WriteData(m_plain.GetData(), size);
    if (written != BRAMRESULT_OK) {
      LogPrintf("  error %d while downloading file %s", static_cast<int>(written), path.c_str());
      return false;
    }
    // A short last segment: the file is longer than the server's copy.
    const std::uint64_t position = file.GetPosition();
    if (position < offset + SEGMENT_SIZE && position < file.GetSize()) {
      if (file.SetSize(position) != BRAMRESULT_OK) {
        LogPrintf("   error: failed to truncate file %s", path.c_str());
        return false;
      }
      summary.EraseFollowingSegments(m_key);
    }
  }
  if (!summary.RegisterSegment(JoinPath(m_owner->m_root, m_key), m_key, m_checksum)) {
    LogPrintf("   error: failed to register file %s", path.c_str());
    return false;
  }
  return true;
}

bool BramAgentClientTask::WriteNoData(const std::string& path, std::uint64_t offset) {
  FileTreeSummary& summary = m_owner->m_summary;
  if (FileExists(path)) {
    if (SegmentKeyIndex(m_key) != 0) {
      BramDataBufferFile file(path, BRAMFILE_MODE_UPDATE);
      if (file.IsOpen()) {
        if (file.GetSize() > offset && file.SetSize(offset) != BRAMRESULT_OK) {
          LogPrintf("   error: failed to truncate file %s", path.c_str());
          return false;
        }
        summary.EraseFollowingSegments(m_key);
      }
    } else {
      DeletePath(path);
    }
  }
  summary.EraseSegment(m_key);
  return true;
}

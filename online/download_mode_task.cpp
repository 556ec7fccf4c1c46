#include "online/download_mode_task.h"

#include <atomic>
#include <limits>

#include "foundation/log.h"
#include "foundation/paths.h"
#include "kit/data_buffer_file.h"
#include "kit/data_buffer_memory_dynamic.h"
#include "online/download_callback.h"
#include "online/download_mode_text.h"
#include "online/download_mode_transfer.h"
#include "online/http_transfer.h"
#include "text/fixed_texts.h"
#include "text/text_kind.h"

namespace BramPatch {

// The archive file as the transfer client writes it, with its position
// published for the window's thread: the client moves the file's own
// position without any lock, so the window reads this copy instead.
class PatchDownloadTask::ActiveBuffer : public BramDataBuffer {
 public:
  explicit ActiveBuffer(BramDataBuffer& file) : m_file(file) { Publish(); }

  std::uint64_t GetSize() override { return m_file.GetSize(); }
  BramResult SetSize(std::uint64_t size) override { return Published(m_file.SetSize(size)); }
  std::uint64_t GetPosition() override { return m_file.GetPosition(); }
  BramResult SetPosition(std::uint64_t position) override {
    return Published(m_file.SetPosition(position));
  }
  BramResult WriteData(const void* bytes, std::uint32_t count) override {
    if (!m_written.load(std::memory_order_relaxed)) {
      m_first_write.store(m_file.GetPosition(), std::memory_order_relaxed);
      m_written.store(true, std::memory_order_release);
    }
    return Published(m_file.WriteData(bytes, count));
  }
  BramResult ReadData(void* bytes, std::uint32_t count) override {
    return Published(m_file.ReadData(bytes, count));
  }
  void Flush() override { m_file.Flush(); }

  // Callable from any thread.
  std::uint64_t PublishedPosition() const { return m_position.load(std::memory_order_relaxed); }
  // Where the first byte of this download landed; before that, the position
  // (nothing of this download is in the file yet).
  std::uint64_t PublishedFirstWrite() const {
    if (m_written.load(std::memory_order_acquire)) {
      return m_first_write.load(std::memory_order_relaxed);
    }
    return PublishedPosition();
  }

 private:
  void Publish() { m_position.store(m_file.GetPosition(), std::memory_order_relaxed); }
  BramResult Published(BramResult result) {
    Publish();
    return result;
  }

  BramDataBuffer& m_file;
  std::atomic<std::uint64_t> m_position{0};
  std::atomic<std::uint64_t> m_first_write{0};
  std::atomic<bool> m_written{false};
};

PatchDownloadTask::PatchDownloadTask(DownloadModeTransfer* transfer)
    : m_transfer(transfer != nullptr ? *transfer : DownloadModeTransfer::Real()) {}

PatchDownloadTask::~PatchDownloadTask() = default;

bool PatchDownloadTask::FetchCatalogue(const std::vector<std::string>& servers,
                                       DownloadURLCallback* callback) {
  for (const std::string& server : servers) {
    if (server.empty()) continue;
    const std::string url = JoinPath(server, CATALOGUE_FILE_NAME);
    BramDataBufferMemoryDynamic buffer;
    const BramResult result =
        m_transfer.Download(url, buffer, DOWNLOAD_FLAG_NO_CACHE, callback, CATALOGUE_MAX_SIZE);
    if (result != BRAMRESULT_OK) {
      PostDownloadText(TEXT_KIND_NORMAL, FIXED_CANNOT_DOWNLOAD_PATCH + url);
      if (result == BRAMRESULT_ABORTED && callback != nullptr && callback->IsCancelled()) {
        return false;
      }
      continue;
    }
    buffer.SetPosition(0);
    if (m_catalogue.ParseCatalogue(buffer, server)) {
      m_catalogue_server = server;
      return true;
    }
    LogPrintf("PatchDownloadTask::FetchCatalogue> %s holds no valid patch entry", url.c_str());
  }
  PostDownloadText(TEXT_KIND_NORMAL, FIXED_CANNOT_CONNECT_TO_SERVERS);
  return false;
}

bool PatchDownloadTask::QueryPatchSize(const std::string& url) {
  {
    std::lock_guard<std::mutex> lock(m_progress_mutex);
    m_progress.m_bytes_done = 0;
  }
  std::uint64_t size = 0;
  const bool known = m_transfer.QuerySize(url, &size) == BRAMRESULT_OK;
  std::lock_guard<std::mutex> lock(m_progress_mutex);
  m_progress.m_bytes_total = known ? size : 0;
  return known;
}

bool PatchDownloadTask::DownloadPatch(const std::string& url, const std::string& path,
                                      DownloadURLCallback* callback) {
  std::uint64_t announced = 0;
  {
    std::lock_guard<std::mutex> lock(m_progress_mutex);
    m_progress.m_state = DOWNLOAD_STATE_DOWNLOADING;
    m_progress.m_bytes_done = 0;
    m_progress.m_bytes_resumed = 0;
    m_progress.m_started = DownloadClock::now();
    announced = m_progress.m_bytes_total;
  }

  BramDataBufferFile file(path, BRAMFILE_MODE_UPDATE);
  if (!file.IsOpen()) {
    PostDownloadText(TEXT_KIND_ERROR, FIXED_CANNOT_OPEN_PATCH_FOR_WRITING + path);
    return false;
  }
  if (announced != 0 && file.GetSize() > announced) {
    LogPrintf(
        "PatchDownloadTask::DownloadPatch> %s holds %llu bytes, more than the %llu "
        "announced; downloading it afresh",
        path.c_str(), static_cast<unsigned long long>(file.GetSize()),
        static_cast<unsigned long long>(announced));
    if (file.SetSize(0) != BRAMRESULT_OK) {
      PostDownloadText(TEXT_KIND_ERROR, FIXED_CANNOT_OPEN_PATCH_FOR_WRITING + path);
      return false;
    }
  }

  ActiveBuffer active(file);
  {
    std::lock_guard<std::mutex> lock(m_progress_mutex);
    m_active = &active;
  }
  const BramResult result = m_transfer.Download(url, active, 0, callback, announced);
  if (result == BRAMRESULT_OK) file.Flush();
  {
    std::lock_guard<std::mutex> lock(m_progress_mutex);
    m_progress.m_bytes_done = active.PublishedPosition();
    m_progress.m_bytes_resumed = active.PublishedFirstWrite();
    m_active = nullptr;
  }
  if (result != BRAMRESULT_OK) {
    PostDownloadText(TEXT_KIND_ERROR, FIXED_CANNOT_DOWNLOAD_PATCH + url);
    return false;
  }
  return true;
}

DownloadProgress PatchDownloadTask::GetProgress() {
  std::lock_guard<std::mutex> lock(m_progress_mutex);
  if (m_progress.m_state == DOWNLOAD_STATE_DOWNLOADING && m_active != nullptr) {
    m_progress.m_bytes_done = m_active->PublishedPosition();
    m_progress.m_bytes_resumed = m_active->PublishedFirstWrite();
  }
  if (m_progress.m_bytes_total == 0) {
    m_progress.m_percent = 0;
  } else {
    const std::uint64_t percent = m_progress.m_bytes_done * 100 / m_progress.m_bytes_total;
    m_progress.m_percent = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(percent, std::numeric_limits<std::uint32_t>::max()));
  }
  return m_progress;
}

void PatchDownloadTask::SetProgressState(int state) {
  std::lock_guard<std::mutex> lock(m_progress_mutex);
  m_progress.m_state = state;
}

}  // namespace BramPatch

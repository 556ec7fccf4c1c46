#include "engine/checksum_prefetch.h"

#include "engine/patch_file_system.h"

namespace BramPatch {

ChecksumPrefetcher::~ChecksumPrefetcher() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stopping = true;
  }
  m_changed.notify_all();
  if (m_worker.joinable()) m_worker.join();
}

void ChecksumPrefetcher::Start(const std::string& path) {
  {
    std::unique_lock<std::mutex> lock(m_lock);
    // A request still being worked on finishes first: its file must stay
    // untouched only until then.
    m_changed.wait(lock, [this] { return !m_pending || m_done; });
    m_path = path;
    m_pending = true;
    m_done = false;
  }
  m_changed.notify_all();
  if (!m_worker.joinable()) m_worker = std::thread([this] { Work(); });
}

bool ChecksumPrefetcher::Take(const std::string& path, bool* computed, std::string* checksum) {
  std::unique_lock<std::mutex> lock(m_lock);
  if (!m_pending || m_path != path) return false;
  m_changed.wait(lock, [this] { return m_done; });
  *computed = m_computed;
  *checksum = m_checksum;
  m_pending = false;
  m_path.clear();
  m_changed.notify_all();
  return true;
}

void ChecksumPrefetcher::Work() {
  std::unique_lock<std::mutex> lock(m_lock);
  for (;;) {
    m_changed.wait(lock, [this] { return m_stopping || (m_pending && !m_done); });
    if (m_stopping) return;
    const std::string path = m_path;
    lock.unlock();
    std::string checksum;
    const bool computed = m_fs.ComputeChecksum(path, &checksum);
    lock.lock();
    m_computed = computed;
    m_checksum = std::move(checksum);
    m_done = true;
    m_changed.notify_all();
  }
}

}  // namespace BramPatch

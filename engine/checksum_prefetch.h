// Computes the MD5 of the next patched file on a second thread while the
// diff tool works on the current one, so that the checksums of the patch
// phase cost no time of their own on a machine with a second core.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace BramPatch {

class PatchFileSystem;

// One request at a time. The worker thread starts with the first request
// and keeps its read area for all later ones.
class ChecksumPrefetcher {
 public:
  // REQUIRES: `file_system` outlives the prefetcher and its ComputeChecksum
  // may run on another thread beside the caller's other calls.
  explicit ChecksumPrefetcher(PatchFileSystem& file_system) : m_fs(file_system) {}
  ~ChecksumPrefetcher();
  ChecksumPrefetcher(const ChecksumPrefetcher&) = delete;
  ChecksumPrefetcher& operator=(const ChecksumPrefetcher&) = delete;

  // Starts computing the checksum of `path`, dropping an earlier result
  // that was not taken. REQUIRES: the file does not change until Take.
  void Start(const std::string& path);

  // When the last Start was for `path`: waits for it, stores what
  // ComputeChecksum gave in *computed and *checksum, and returns true.
  // Otherwise returns false (the caller computes it itself).
  bool Take(const std::string& path, bool* computed, std::string* checksum);

 private:
  void Work();

  PatchFileSystem& m_fs;
  std::mutex m_lock;
  std::condition_variable m_changed;
  // Guarded by m_lock.
  std::string m_path;      // the request, or empty
  bool m_pending = false;  // m_path waits for the worker
  bool m_done = false;     // the result for m_path is in
  bool m_computed = false;
  std::string m_checksum;
  bool m_stopping = false;
  std::thread m_worker;
};

}  // namespace BramPatch

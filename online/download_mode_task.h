// The download loop's task: the catalogue of the server it came from, and the
// progress block of the archive being downloaded, which the window samples.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "online/download_progress.h"

class DownloadURLCallback;

namespace BramPatch {

class DownloadModeTransfer;

class PatchDownloadTask {
 public:
  // REQUIRES: `transfer` (null: the real client) outlives the task.
  explicit PatchDownloadTask(DownloadModeTransfer* transfer = nullptr);
  ~PatchDownloadTask();
  PatchDownloadTask(const PatchDownloadTask&) = delete;
  PatchDownloadTask& operator=(const PatchDownloadTask&) = delete;

  // Fetches "patches.txt" from each server in turn (empty entries skipped)
  // into memory, bypassing caches and refusing more than CATALOGUE_MAX_SIZE
  // bytes, until one parses; that server becomes the catalogue server. A
  // failed transfer posts (kind 0) "Unable to download patch file: " + its
  // URL and the next server is tried; a catalogue without a valid block is
  // passed over silently. When none is left: "Unable to connect to any patch
  // servers." (kind 0) and false. A transfer stopped through `callback`
  // (may be null) ends the search at once: its failure line, then false.
  bool FetchCatalogue(const std::vector<std::string>& servers, DownloadURLCallback* callback);

  // Bytes done become 0 and bytes total the archive's size, or 0 when the
  // size cannot be had (false).
  bool QueryPatchSize(const std::string& url);

  // Downloads the archive at `url` into the file at `path`, which is created
  // when missing and otherwise kept, so that an FTP transfer resumes at its
  // end (an HTTP transfer rewrites it from the start and cuts off what is
  // left behind). A kept file longer than the announced size cannot be the
  // start of the archive and is emptied first. The transfer may not pass the
  // announced size (when one is known). `callback` (may be null) can stop
  // it. True on success. On failure posts (kind 2) "Unable to open the patch
  // file for writing: " + path or "Unable to download patch file: " + url;
  // what arrived stays in the file.
  bool DownloadPatch(const std::string& url, const std::string& path,
                     DownloadURLCallback* callback);

  // A snapshot of the progress block; callable from any thread. While a
  // download runs, bytes done are the file's current position; afterwards
  // they keep the final position.
  DownloadProgress GetProgress();

  // DOWNLOAD_STATE_*; DownloadPatch sets DOWNLOAD_STATE_DOWNLOADING itself.
  void SetProgressState(int state);

  // The entries of every catalogue accepted so far.
  PatchCatalogue& GetCatalogue() { return m_catalogue; }
  // The base URL of the server whose catalogue was accepted; "" before.
  const std::string& GetCatalogueServer() const { return m_catalogue_server; }

 private:
  class ActiveBuffer;

  DownloadModeTransfer& m_transfer;
  PatchCatalogue m_catalogue;
  std::string m_catalogue_server;

  std::mutex m_progress_mutex;
  // Guarded by m_progress_mutex: set only while DownloadPatch transfers, and
  // cleared before its file is closed.
  ActiveBuffer* m_active = nullptr;
  DownloadProgress m_progress;  // guarded by m_progress_mutex
};

}  // namespace BramPatch

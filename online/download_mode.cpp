#include "online/download_mode.h"

#include <set>

#include "engine/catalogue.h"
#include "engine/patch_installer.h"
#include "engine/patch_options.h"
#include "engine/temp_directory.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "online/download_mode_task.h"
#include "online/download_mode_text.h"
#include "online/patch_download_callback.h"
#include "text/message_format.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

// A catalogue whose patches lead back to a build this run has already been
// at would be followed for ever.
constexpr const char* DOWNLOAD_CYCLE_TEXT =
    "The patch for version %s leads back to version %s, which this run has already passed; no "
    "further patches are applied.";

constexpr const char* DOWNLOAD_ARCHIVE_SUFFIX = ".zip";

// Step 16 of a normal end: the rebuild once anything was installed.
bool Finish(PatchInstaller& installer, int installed) {
  if (installed > 0) installer.RebuildAssetDatabase();
  return true;
}

}  // namespace

bool RunDownloadMode(PatchOptions& options, PatchDownloadTask& task, PatchInstaller& installer,
                     const DownloadModeHooks& hooks, int* installed) {
  *installed = 0;
  PostDownloadText(TEXT_KIND_NORMAL, LoadMessage(MSG_SEARCHING_FOR_PATCHES));
  PatchDownloadCallback callback(hooks.m_cancel_requested);
  if (!task.FetchCatalogue(options.GetServerList(), &callback)) return false;

  // Versions this run has patched from or to.
  std::set<std::string> passed;
  for (;;) {
    const std::string final_version = options.GetFinalVersion();
    const std::string current = options.GetCurrentVersion();  // may take a candidate build
    if (current == final_version) {
      PostDownloadText(TEXT_KIND_NORMAL, LoadMessage(MSG_CLIENT_AT_FINAL_VERSION) + final_version);
      return Finish(installer, *installed);
    }

    const CatalogueEntry* entry = task.GetCatalogue().FindPatch(current);
    if (entry == nullptr) {
      PostDownloadText(TEXT_KIND_NORMAL, LoadMessage(MSG_NO_MORE_PATCHES_AT_SERVER) + current);
      if (options.GetCandidateBuilds().empty()) return Finish(installer, *installed);
      options.SetCurrentVersion("");  // the next candidate build becomes current
      options.SetNextVersion("");
      continue;
    }
    passed.insert(current);
    if (passed.count(entry->m_target_version) != 0) {
      PostDownloadText(TEXT_KIND_SECONDARY,
                       FormatMessageText(DOWNLOAD_CYCLE_TEXT, {current, entry->m_target_version}));
      return Finish(installer, *installed);
    }

    const std::string url = entry->m_patch_data_url;
    const std::string target = entry->m_target_version;
    options.SetNextVersion(target);
    if (!task.QueryPatchSize(url)) {
      PostDownloadText(TEXT_KIND_SECONDARY, LoadMessage(MSG_UNKNOWN_PATCH_SIZE));
    }

    const std::string directory =
        hooks.m_download_directory.empty() ? TemporaryDirectory() : hooks.m_download_directory;
    if (!MakeDirectory(directory)) {
      PostDownloadText(TEXT_KIND_ERROR, LoadMessage(MSG_CANNOT_CREATE_TEMP_FILE));
      return false;
    }
    const std::string path = JoinPath(directory, options.GetPatchName() + DOWNLOAD_ARCHIVE_SUFFIX);

    PostDownloadText(TEXT_KIND_NORMAL, LoadMessage(MSG_DOWNLOADING_PATCH));
    if (!task.DownloadPatch(url, path, &callback)) {
      PostDownloadText(TEXT_KIND_ERROR, LoadMessage(MSG_PATCH_DOWNLOAD_FAILED));
      return false;
    }
    std::uint64_t size = 0;
    const std::uint64_t announced = task.GetProgress().m_bytes_total;
    if (QueryFileSize(path, &size) != BRAMRESULT_OK || size < announced) {
      LogPrintf("RunDownloadMode> %s holds %llu bytes of the %llu announced", path.c_str(),
                static_cast<unsigned long long>(size), static_cast<unsigned long long>(announced));
      PostDownloadText(TEXT_KIND_ERROR, LoadMessage(MSG_PATCH_DOWNLOAD_FAILED));
      return false;
    }

    task.SetProgressState(DOWNLOAD_STATE_APPLYING);
    const BramResult result = installer.InstallPatchArchive(path);
    task.SetProgressState(DOWNLOAD_STATE_IDLE);
    if (result != BRAMRESULT_OK) {
      DeletePath(path);
      return false;
    }
    ++*installed;
    options.SetCurrentVersion(target);
    options.SetNextVersion("");
    passed.insert(target);
    if (hooks.m_patch_installed) hooks.m_patch_installed();
  }
}

}  // namespace BramPatch

#include "run/patch_thread.h"

#include <memory>

#include "engine/archive_reader.h"
#include "engine/patch_data_paths.h"
#include "engine/patch_engine.h"
#include "engine/patch_options.h"
#include "engine/temp_directory.h"
#include "foundation/paths.h"
#include "online/download_mode.h"
#include "run/asset_database_rebuild.h"
#include "run/asset_database_threads.h"
#include "run/environment_checks.h"
#include "run/patch_messaging.h"
#include "run/patch_run.h"
#include "run/patch_view.h"
#include "run/patching_flag.h"
#include "run/repair_mode.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

void FillGauge() {
  if (PatchView* view = GetCurrentView()) {
    view->SetGaugeRange(1);
    view->SetGaugeValue(1);
  }
}

}  // namespace

void OmvelPatchTask::ReportText(int, std::string) {}
void OmvelPatchTask::ReportWideText(int, std::string) {}

APThread::APThread() : wxGuardedThread(wxTHREAD_JOINABLE) {
  SetCurrentWorkerDestroyFlag(&m_destroying);
}

APThread::~APThread() { ClearCurrentWorkerDestroyFlag(&m_destroying); }

int APThread::GuardedEntry() {
  PostWorkerFinished();
  return 0;
}

PatchThread::PatchThread(PatchOptions& options, OS::SystemInfo& system, RunChecks& checks)
    : m_options(options), m_system(system), m_checks(checks) {}

void PatchThread::ReportText(int kind, std::string text) { PostText(kind, text); }
void PatchThread::ReportWideText(int kind, std::string text) { PostText(kind, text); }

int PatchThread::GuardedEntry() {
  ModeRoutines modes;
  modes.repair = [this](const std::string&) { return RunRepairMode(m_options); };
  modes.local = [this](const std::string& tempDirectory) {
    m_tempDirectory = tempDirectory;
    return RunLocalMode(m_options, GetLocalPackage(), *this);
  };
  modes.download = [this](const std::string& tempDirectory) {
    m_tempDirectory = tempDirectory;
    DownloadModeHooks hooks;  // archives go to the temporary directory
    hooks.m_cancel_requested = CancelRequestedByUser;
    hooks.m_patch_installed = PostPatchInstalled;
    int installed = 0;
    return RunDownloadMode(m_options, m_downloadTask, *this, hooks, &installed);
  };
  m_completed = ExecutePatchRun(m_options, m_system, m_checks, modes);
  // A run that ended before the rebuild still holds the database; let it go so
  // that the product, or a second run, can take it.
  ReleaseAssetDatabase();
  return APThread::GuardedEntry();
}

BramResult PatchThread::InstallPatchArchive(const std::string& archivePath) {
  if (!MakeUniqueTempDirectory(&m_tempDirectory)) {
    PostText(TEXT_KIND_ERROR, LoadMessage(MSG_CANNOT_CREATE_TEMP_DIRECTORY));
    FillGauge();
    return BRAMRESULT_IO_FAILURE;
  }
  std::uint64_t archiveBytes = 0;
  QueryFileSize(archivePath, &archiveBytes);
  auto ticker = std::make_unique<KADHackProgressThread>(EstimateInstallMinutes(archiveBytes));
  if (ticker->Create() != wxTHREAD_NO_ERROR || ticker->Run() != wxTHREAD_NO_ERROR) {
    ticker.reset();
  }

  BramResult result = BRAMRESULT_BAD_FORMAT;
  if (!CancelRequestedByUser()) {
    PostText(TEXT_KIND_NORMAL, LoadMessage(MSG_UNPACKING_PATCH));
    std::string error;
    if (!UnpackArchive(archivePath, m_tempDirectory, &error)) {
      PostText(TEXT_KIND_ERROR, LoadMessage(MSG_FAILED_EXTRACT_ARCHIVE));
    } else if (!CancelRequestedByUser()) {
      PostText(TEXT_KIND_NORMAL, LoadMessage(MSG_PATCHING));
      if (ApplyUnpackedPatch(m_tempDirectory)) {
        result = BRAMRESULT_OK;
      } else {
        PostText(TEXT_KIND_ERROR, LoadMessage(MSG_FAILED_APPLY_PATCH) + m_options.GetPatchName());
      }
    }
  }

  RemoveTree(m_tempDirectory);
  if (ticker) {
    ticker->Stop();
    ticker->Wait();
  }
  if (result != BRAMRESULT_OK) FillGauge();
  return result;
}

bool PatchThread::ApplyUnpackedPatch(const std::string& patchDirectory) {
  SetPatchingFlag();
  if (PatchView* view = GetCurrentView()) view->ShowInstallPath(m_options.GetInstallPath());
  std::string install = m_options.GetInstallPath();
  NormalizeSeparators(install);
  if (ApplyPatchDirectory(install, patchDirectory, PATCH_LAST_FILE_NAME)) {
    ClearPatchingFlag();
    return true;
  }
  FillGauge();
  SetPatchingFlag();  // the mark stays after a failed patch
  return false;
}

void PatchThread::RebuildAssetDatabase() {
  BramPatch::RebuildAssetDatabase(m_options.GetInstallPath(), ReleaseAssetDatabase);
}

bool RealRunChecks::CheckWriteAccess(const std::string& installPath) {
  return BramPatch::CheckWriteAccess(installPath);
}

bool RealRunChecks::CheckFilesInUse(const std::string& installPath) {
  return BramPatch::CheckFilesInUse(installPath);
}

}  // namespace BramPatch

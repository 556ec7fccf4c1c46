#include "run/patch_run.h"

#include "engine/patch_options.h"
#include "platform/system_info.h"
#include "run/environment_checks.h"
#include "run/patch_messaging.h"
#include "run/patch_view.h"
#include "text/message_format.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

void ShowBox(int text, int caption) {
  if (PatchView* view = GetCurrentView()) {
    view->ShowMessageBox(LoadMessage(text), LoadMessage(caption), MESSAGEBOX_OK);
  }
}

bool RunMode(const ModeRoutine& routine, const std::string& tempDirectory) {
  return routine ? routine(tempDirectory) : false;
}

// The gates and the mode routine; true for a completed run.
bool PassGatesAndRun(PatchOptions& options, OS::SystemInfo& system, RunChecks& checks,
                     const ModeRoutines& modes) {
  const auto version = system.GetWindowsVersion();
  const bool directX = HasDirectX9Runtime(system);
  const bool writable = checks.CheckWriteAccess(options.GetInstallPath());

  if (!writable) {
    PostText(TEXT_KIND_ERROR, LoadMessage(MSG_PATCHING_REQUIRES_ADMIN));
    ShowBox(MSG_INSUFFICIENT_PRIVILEGES, MSG_REQUIRES_ADMIN_PRIVILEGES);
    return false;
  }
  if (IsOldWindowsXp(version)) {
    PostText(TEXT_KIND_ERROR, LoadMessage(MSG_REQUIRES_XP_SERVICE_PACK_3));
    return false;
  }
  if (!directX) {
    PostText(TEXT_KIND_ERROR, LoadMessage(MSG_REQUIRES_DIRECTX_AUGUST_2009));
    return false;
  }
  if (!checks.CheckFilesInUse(options.GetInstallPath())) {
    PostText(TEXT_KIND_ERROR, LoadMessage(MSG_FILES_IN_USE));
    ShowBox(MSG_EXECUTABLES_RUNNING, MSG_FILES_IN_USE_TITLE);
    // The user may close the programs and try again.
    if (PatchView* view = GetCurrentView()) view->EnableApplyUpdate(true);
    return false;
  }
  if (options.IsRepair()) return RunMode(modes.repair, std::string());

  std::string tempDirectory;
  if (!CheckDiskSpace(system, PATCH_REQUIRED_DISK_MB, options.GetInstallPath(), &tempDirectory)) {
    PostText(TEXT_KIND_ERROR, FormatMessageText(LoadMessage(MSG_INSUFFICIENT_DISK_SPACE),
                                                {std::to_string(PATCH_REQUIRED_DISK_MB)}));
    return false;
  }
  if (options.IsLocal()) return RunMode(modes.local, tempDirectory);
  if (options.IsDownload()) return RunMode(modes.download, tempDirectory);
  return false;
}

}  // namespace

bool ExecutePatchRun(PatchOptions& options, OS::SystemInfo& system, RunChecks& checks,
                     const ModeRoutines& modes) {
  SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
  const bool completed = PassGatesAndRun(options, system, checks, modes);
  PostText(TEXT_KIND_NORMAL,
           LoadMessage(completed ? MSG_PATCHING_COMPLETED : MSG_PATCHING_ABORTED));
  return completed;
}

}  // namespace BramPatch

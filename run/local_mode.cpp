#include "run/local_mode.h"

#include "engine/package_reader.h"
#include "engine/patch_options.h"
#include "engine/temp_directory.h"
#include "foundation/paths.h"
#include "run/environment_checks.h"
#include "run/install_locator.h"
#include "run/patch_messaging.h"
#include "run/patch_view.h"
#include "text/message_format.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

constexpr const char* INSTALL_PATH_UNKNOWN =
    "Unable to determine Kestro installation path. Requesting user to specify installation "
    "location.\n";
constexpr const char* INSTALL_CHOICE_CANCELLED =
    "Unable to determine installation location. Aborted patching at user's request.";

// The package is the patcher's own: its records name these.
constexpr const char* PRODUCT_KEY = "KestroSimulator";
constexpr const char* PRODUCT_CLASS = "Kestro";

}  // namespace

PatchPackage& GetLocalPackage() {
  static PatchPackage* package = new PatchPackage;  // lives until the process ends
  return *package;
}

bool DetectLocalPackage(const std::string& executablePath, bool useRegistry, PatchOptions& options,
                        PatchPackage& package) {
  const BramResult opened = package.OpenPackage(executablePath);
  if (opened == BRAMRESULT_UNSUPPORTED) return false;  // this build carries no package
  if (opened != BRAMRESULT_OK) {
    PostText(TEXT_KIND_ERROR, LoadMessage(MSG_FILE_ERROR_READING_PATCH));
    return false;
  }
  PatchView* view = GetCurrentView();
  if (view) view->EnableBrowse(true);

  std::string candidate = useRegistry ? FindInstallPath(PRODUCT_KEY, PRODUCT_CLASS) : "";
  if (candidate.empty()) {
    if (useRegistry) PostText(TEXT_KIND_ERROR, INSTALL_PATH_UNKNOWN);
    std::optional<std::string> chosen = view ? BrowseInstallPath(*view) : std::nullopt;
    if (!chosen) {
      PostText(TEXT_KIND_ERROR, INSTALL_CHOICE_CANCELLED);
      return false;
    }
    candidate = *chosen;
    options.SetInstallPath(candidate);
  }

  std::string launcher = JoinPath(candidate, "bin/Launcher.exe");
  NormalizeSeparators(launcher);
  if (FileExists(launcher)) {
    std::string root = candidate;
    NormalizeSeparators(root);
    const std::vector<std::string> versions = package.FindApplicableVersions(root);
    if (!versions.empty()) {
      options.SetCurrentVersion("");
      options.SetNextVersion("");
      options.SetFinalVersion("");
      options.SetRepair(false);
      options.SetLocal(true);
      for (const std::string& version : versions) options.AddCandidateBuild(version);
      PostText(TEXT_KIND_NORMAL, LoadMessage(MSG_READY_LOCAL_PATCH));
      if (view) view->EnableApplyUpdate(true);
      const std::string& current = options.GetCurrentVersion();
      if (!current.empty()) {
        PostText(TEXT_KIND_NORMAL, FormatMessageText(LoadMessage(MSG_CURRENT_VERSION), {current}));
      }
      PostText(TEXT_KIND_NORMAL, "");
      return true;
    }
  }
  PostText(TEXT_KIND_ERROR, LoadMessage(MSG_PATCH_NOT_APPLICABLE));
  return false;
}

bool RunLocalMode(PatchOptions& options, PatchPackage& package, PatchInstaller& installer) {
  while (options.GetCurrentVersion() != options.GetFinalVersion()) {
    std::string next = package.GetTargetVersion(options.GetCurrentVersion());
    if (next.empty()) {
      // The getter takes the next candidate build as the current version.
      options.SetCurrentVersion("");
      options.SetNextVersion("");
      next = package.GetTargetVersion(options.GetCurrentVersion());
      if (next.empty()) {
        PostText(TEXT_KIND_NORMAL, LoadMessage(MSG_NO_MORE_PATCHES_FOR_BUILD));
        break;
      }
    }
    options.SetNextVersion(next);
    PostText(TEXT_KIND_NORMAL, FormatMessageText(LoadMessage(MSG_PATCHING_FROM_TO),
                                                 {options.GetCurrentVersion(), next}));
    if (!ApplyLocalStep(options, package, installer)) return false;
    options.SetCurrentVersion(next);
  }
  options.SetNextVersion("");
  installer.RebuildAssetDatabase();
  return true;
}

bool ApplyLocalStep(PatchOptions& options, PatchPackage& package, PatchInstaller& installer) {
  const std::string temp = TemporaryDirectory();
  if (!MakeDirectory(temp)) {
    PostText(TEXT_KIND_ERROR, LoadMessage(MSG_CANNOT_CREATE_TEMP_FILE));
    return false;
  }
  const std::string archive = JoinPath(temp, options.GetPatchName() + ".zip");
  if (package.ExtractArchive(options.GetCurrentVersion(), archive) != BRAMRESULT_OK) {
    PostText(TEXT_KIND_ERROR, LoadMessage(MSG_CANNOT_EXTRACT_PATCH_DATA));
    return false;
  }
  if (installer.InstallPatchArchive(archive) != BRAMRESULT_OK) return false;
  PostPatchInstalled();
  return true;
}

}  // namespace BramPatch

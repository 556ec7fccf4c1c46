#include "engine/patch_options.h"

namespace BramPatch {

PatchOptions& PatchOptions::Get() {
  static PatchOptions* instance = new PatchOptions;  // never freed: used until the process ends
  return *instance;
}

const std::string& PatchOptions::GetCurrentVersion() {
  if (m_currentVersion.empty() && !m_candidates.empty()) {
    m_currentVersion = std::move(m_candidates.front());
    m_candidates.pop_front();
  }
  return m_currentVersion;
}

void PatchOptions::SetCurrentVersion(std::string version) {
  m_currentVersion = std::move(version);
  UpdatePatchName();
}

void PatchOptions::SetNextVersion(std::string version) {
  m_nextVersion = std::move(version);
  UpdatePatchName();
}

void PatchOptions::UpdatePatchName() { m_patchName = GetCurrentVersion() + "_to_" + m_nextVersion; }

void PatchOptions::SetLocal(bool local) {
  m_local = local;
  if (local) m_download = false;
}

void PatchOptions::SetDownload(bool download) {
  m_download = download;
  if (download) m_local = false;
}

}  // namespace BramPatch

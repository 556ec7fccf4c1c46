// The process-wide run settings of one patcher process.
//
// Written on the main thread at start-up, afterwards by the one worker of a
// run; there is no lock (the window does not touch the versions while a worker
// is alive). Builds are compared as exact strings, never ordered.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace BramPatch {

class PatchOptions {
 public:
  PatchOptions() = default;
  PatchOptions(const PatchOptions&) = delete;
  PatchOptions& operator=(const PatchOptions&) = delete;

  // The process-wide instance: created empty on first use, never freed.
  static PatchOptions& Get();

  // Root directory of the installation; may end in a path separator.
  const std::string& GetInstallPath() const { return m_installPath; }
  void SetInstallPath(std::string path) { m_installPath = std::move(path); }

  // The build the installation is at. When it is empty, the first candidate
  // build (if any) is removed from the candidates and becomes the current
  // version: every read can consume a candidate.
  const std::string& GetCurrentVersion();
  // Both setters recompute the patch name (through GetCurrentVersion, so
  // setting an empty current version may consume a candidate).
  void SetCurrentVersion(std::string version);
  const std::string& GetNextVersion() const { return m_nextVersion; }
  void SetNextVersion(std::string version);
  // Current version + "_to_" + next version.
  const std::string& GetPatchName() const { return m_patchName; }

  // Build to stop at; empty means no limit.
  const std::string& GetFinalVersion() const { return m_finalVersion; }
  void SetFinalVersion(std::string version) { m_finalVersion = std::move(version); }

  // Local and download exclude each other: setting one to true clears the
  // other; setting either to false changes nothing else. Repair is
  // independent of both.
  bool IsRepair() const { return m_repair; }
  void SetRepair(bool repair) { m_repair = repair; }
  bool IsLocal() const { return m_local; }
  void SetLocal(bool local);
  bool IsDownload() const { return m_download; }
  void SetDownload(bool download);

  // Patch server addresses, in the order given; only grows.
  const std::vector<std::string>& GetServerList() const { return m_servers; }
  void AddServer(std::string server) { m_servers.push_back(std::move(server)); }

  // Further builds the installation may be at, in order; only grows, except
  // through GetCurrentVersion.
  const std::deque<std::string>& GetCandidateBuilds() const { return m_candidates; }
  void AddCandidateBuild(std::string build) { m_candidates.push_back(std::move(build)); }

 private:
  void UpdatePatchName();

  std::string m_installPath;
  std::string m_patchName;
  std::string m_currentVersion;
  std::string m_nextVersion;
  std::string m_finalVersion;
  bool m_repair = false;
  bool m_local = false;
  bool m_download = false;
  std::vector<std::string> m_servers;
  std::deque<std::string> m_candidates;
};

}  // namespace BramPatch

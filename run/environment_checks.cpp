#include "run/environment_checks.h"

#include <atomic>
#include <thread>

#include "engine/temp_directory.h"
#include "foundation/database_block_api.h"
#include "foundation/paths.h"
#include "foundation/registry.h"
#include "platform/file_system.h"
#include "platform/system_info.h"
#include "run/patch_messaging.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

// Whether CheckFilesInUse holds the database for this process.
std::atomic<bool> g_databaseHeld{false};

// The DirectX 9 runtime of August 2009.
constexpr const char* DIRECTX9_RUNTIME_LIBRARY = "D3dx9_42.dll";

}  // namespace

bool IsOldWindowsXp(const std::optional<OS::WindowsVersion>& version) {
  return version && version->major == 5 && version->minor == 1 && version->servicePackMajor < 3;
}

bool HasDirectX9Runtime(OS::SystemInfo& system) {
  return system.LoadRuntimeLibrary(DIRECTX9_RUNTIME_LIBRARY);
}

bool GetFreeDiskSpace(OS::SystemInfo& system, const std::string& path, std::uint64_t* bytes) {
  *bytes = 0;
  if (path.empty()) return false;
  std::string directory = JoinPath(path, "");
  NormalizeSeparators(directory);
  return system.GetFreeDiskSpace(directory, bytes);
}

bool CheckDiskSpace(OS::SystemInfo& system, unsigned megabytes, const std::string& installPath,
                    std::string* tempDirectory) {
  PostText(TEXT_KIND_NORMAL, LoadMessage(MSG_CHECKING_DISK_SPACE));
  const std::string temp = TemporaryDirectory();
  *tempDirectory = temp;
  const std::uint64_t required = static_cast<std::uint64_t>(megabytes) * 1048576u;

  std::uint64_t tempFree = 0;
  const bool tempKnown = GetFreeDiskSpace(system, temp, &tempFree);
  if (tempKnown && tempFree < required) *tempDirectory = installPath;

  std::uint64_t installFree = 0;
  if (GetFreeDiskSpace(system, installPath, &installFree)) {
    if (installFree < required) return false;
    if (tempKnown) return true;
  }
  PostText(TEXT_KIND_NORMAL, LoadMessage(MSG_DISK_SPACE_UNKNOWN));
  return true;
}

bool CheckWriteAccess(const std::string& installPath) {
  const RegistryKey machine = RegistryKey::LocalMachine();
  {
    RegistryKey created;
    machine.CreateKey("Software\\Omvel", 0, &created);  // the result does not matter
  }
  RegistryKey writable;
  if (machine.OpenKey("Software\\Omvel", REGISTRY_ACCESS_WRITE, &writable) != REGISTRY_OK) {
    return false;
  }
  writable.Close();
  if (!MakeDirectory(TemporaryDirectory())) return false;
  std::string executable = JoinPath(installPath, "bin/Kestro.exe");
  NormalizeSeparators(executable);
  if (!FileExists(executable)) return true;
  // Fails for a running product (ETXTBSY), a read-only file or missing rights.
  return OS::ProbeWritable(executable);
}

bool CheckFilesInUse(const std::string& installPath, int attempts,
                     std::chrono::milliseconds pause) {
  std::string database = JoinPath(installPath, "assets.tdx");
  NormalizeSeparators(database);
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (OpenDatabaseBlock(database, false)) {
      if (GetAttachCount() == 1 && TakeExclusive()) {
        g_databaseHeld = true;
        return true;
      }
      CloseDatabaseBlock();
    }
    std::this_thread::sleep_for(pause);
  }
  return false;
}

void ReleaseAssetDatabase() {
  if (!g_databaseHeld.exchange(false)) return;
  ReleaseExclusive();
  CloseDatabaseBlock();
}

}  // namespace BramPatch

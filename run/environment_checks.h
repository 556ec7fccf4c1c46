// The checks a patch run passes before it touches the installation. The run
// controller runs them as gates in a fixed order and reports their failures;
// start-up uses the write-access check to decide on an elevated relaunch.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace OS {
class SystemInfo;
struct WindowsVersion;
}  // namespace OS

namespace BramPatch {

// Free space a run needs, in MB of 1048576 bytes.
inline constexpr unsigned PATCH_REQUIRED_DISK_MB = 4096;

// The write-access check: the maker's registry key HKEY_LOCAL_MACHINE\Software\Omvel
// can be opened for writing (it is created first when missing), T can be made,
// and the product executable "bin/Kestro.exe", when present, can be opened for
// writing (a running product cannot).
bool CheckWriteAccess(const std::string& installPath);

// The files-in-use check: up to `attempts` tries, `pause` apart, to attach to
// the ownership block of the installation's "assets.tdx" as its only holder
// and take it exclusively. True when this process now holds the database;
// it keeps it until the rebuild releases it (ReleaseAssetDatabase).
bool CheckFilesInUse(const std::string& installPath, int attempts = 5,
                     std::chrono::milliseconds pause = std::chrono::milliseconds(2000));

// Lets go of the database that CheckFilesInUse took; nothing when none is held.
void ReleaseAssetDatabase();

// The Windows XP gate: XP (5.1) before service pack 3. No Windows version
// (any other system) passes.
bool IsOldWindowsXp(const std::optional<OS::WindowsVersion>& version);

// The DirectX gate: the August 2009 DirectX 9 runtime library loads.
bool HasDirectX9Runtime(OS::SystemInfo& system);

// Free bytes available to the calling user on the file system of path. False
// for an empty path or when the system cannot tell.
bool GetFreeDiskSpace(OS::SystemInfo& system, const std::string& path, std::uint64_t* bytes);

// The disk-space gate. Posts 241; sets *tempDirectory to T, or to the install
// path when T's file system has less than `megabytes` free. Returns false only
// when the installation's file system is known to have less than that free;
// when either query fails it posts 242 and returns true.
bool CheckDiskSpace(OS::SystemInfo& system, unsigned megabytes, const std::string& installPath,
                    std::string* tempDirectory);

}  // namespace BramPatch

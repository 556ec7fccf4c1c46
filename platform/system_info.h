// What the patch run's gates ask of the system: the Windows version, whether a
// runtime library loads, free disk space. Tests give other answers through a
// fake.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace OS {

struct WindowsVersion {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned servicePackMajor = 0;
};

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;

  // The Windows version the process runs on; nothing on other systems.
  virtual std::optional<WindowsVersion> GetWindowsVersion() = 0;
  // True when the named runtime library is available. There is no DirectX on
  // Linux and the product does not need it there, so it counts as present.
  virtual bool LoadRuntimeLibrary(const std::string& name) = 0;
  // Free bytes available to the calling user on the file system that holds
  // path. False when that cannot be determined (*bytes is then 0).
  virtual bool GetFreeDiskSpace(const std::string& path, std::uint64_t* bytes) = 0;
};

// The running system's answers. Valid for the whole process.
SystemInfo& GetSystemInfo();

}  // namespace OS

#include "platform/system_info.h"

#include <sys/statvfs.h>

#include <cerrno>

namespace OS {
namespace {

class PosixSystemInfo final : public SystemInfo {
 public:
  std::optional<WindowsVersion> GetWindowsVersion() override { return std::nullopt; }

  bool LoadRuntimeLibrary(const std::string&) override { return true; }

  bool GetFreeDiskSpace(const std::string& path, std::uint64_t* bytes) override {
    *bytes = 0;
    struct statvfs info;
    int rc;
    do {
      rc = statvfs(path.c_str(), &info);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return false;
    *bytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    return true;
  }
};

}  // namespace

SystemInfo& GetSystemInfo() {
  static PosixSystemInfo info;
  return info;
}

}  // namespace OS

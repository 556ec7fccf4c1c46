#include "foundation/registry_hive_file.h"

#include <cerrno>
#include <cstdlib>

#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/registry_text.h"
#include "platform/file_system.h"
#include "platform/registry_file.h"

namespace {

constexpr unsigned REGISTRY_NEW_FILE_MODE = 0644;

// The file a path names: a symbolic link is followed, so that replacing the
// file keeps the link. A missing file is taken as named.
std::string Target(const std::string& file) {
  std::string resolved;
  return OS::ResolveRealPath(file, &resolved) ? resolved : file;
}

std::string LockFileOf(const std::string& target) { return target + ".lock"; }

std::string DirectoryOf(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : target.substr(0, slash);
}

RegistryResult FromErrno(int error) {
  return error == EACCES || error == EPERM || error == EROFS ? REGISTRY_ACCESS_DENIED
                                                             : REGISTRY_IO_FAILED;
}

// Reads and parses `target`; the caller holds whatever lock it needs.
RegistryResult ReadHive(const std::string& target, RegistryDocument* document) {
  *document = RegistryDocument();
  std::string bytes;
  if (!OS::ReadRegistryFile(target, &bytes)) {
    const int error = errno;
    if (error == ENOENT) return REGISTRY_OK;
    LogPrintf("LoadRegistryHive> reading %s returned err %d", target.c_str(), error);
    return FromErrno(error);
  }
  RegistryParseError parse_error;
  if (!ParseRegistryText(bytes, document, &parse_error)) {
    LogPrintf("LoadRegistryHive> %s:%d: %s", target.c_str(), parse_error.line,
              parse_error.message.c_str());
    *document = RegistryDocument();
    return REGISTRY_CORRUPT;
  }
  return REGISTRY_OK;
}

}  // namespace

std::string MachineRegistryFile() {
  const char* value = std::getenv(REGISTRY_FILE_VARIABLE);
  return value != nullptr && *value != '\0' ? value : REGISTRY_DEFAULT_FILE;
}

RegistryResult LoadRegistryHive(const std::string& file, RegistryDocument* document) {
  const std::string target = Target(file);
  OS::RegistryFileLock lock;
  // Writers replace the file in one rename, so a reader that cannot have the
  // lock (no lock file, and no right to create one) still reads a whole file.
  lock.Acquire(LockFileOf(target), false);
  return ReadHive(target, document);
}

bool MayChangeRegistryHive(const std::string& file) {
  return OS::MayReplaceRegistryFile(Target(file));
}

RegistryResult UpdateRegistryHive(const std::string& file, const RegistryChange& change) {
  const std::string target = Target(file);
  if (!OS::MayReplaceRegistryFile(target)) return REGISTRY_ACCESS_DENIED;

  const std::string directory = DirectoryOf(target);
  if (!OS::PathExists(directory)) {
    // No file yet: create the directory only when there is something to write.
    RegistryDocument empty;
    bool changed = false;
    const RegistryResult result = change(empty, &changed);
    if (result != REGISTRY_OK || !changed) return result;
    if (!MakeDirectory(directory)) return FromErrno(errno);
  }

  OS::RegistryFileLock lock;
  if (!lock.Acquire(LockFileOf(target), true)) {
    const int error = errno;
    LogPrintf("UpdateRegistryHive> locking %s returned err %d", LockFileOf(target).c_str(), error);
    return FromErrno(error);
  }
  RegistryDocument document;
  RegistryResult result = ReadHive(target, &document);
  if (result != REGISTRY_OK) return result;
  bool changed = false;
  result = change(document, &changed);
  if (result != REGISTRY_OK || !changed) return result;
  if (!OS::ReplaceRegistryFile(target, FormatRegistryText(document), REGISTRY_NEW_FILE_MODE)) {
    const int error = errno;
    LogPrintf("UpdateRegistryHive> writing %s returned err %d", target.c_str(), error);
    return FromErrno(error);
  }
  return REGISTRY_OK;
}

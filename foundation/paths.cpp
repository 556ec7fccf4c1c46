#include "foundation/paths.h"

#include <atomic>
#include <cerrno>
#include <vector>

#include "foundation/log.h"
#include "platform/file_system.h"
#include "platform/process_info.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string Normalized(std::string_view path) {
  std::string copy(path);
  NormalizeSeparators(copy);
  return copy;
}

// Position of the dot that starts the extension, or npos.
std::size_t ExtensionDot(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return dot;
  const std::size_t separator = path.find_last_of("/\\");
  if (separator != std::string_view::npos && separator > dot) return std::string_view::npos;
  return dot;
}

}  // namespace

std::string JoinPath(std::string_view a, std::string_view b) {
  std::string joined(a);
  if (!a.empty() && !IsSeparator(a.back())) joined += '/';
  joined += b;
  return joined;
}

std::string RelativePath(std::string_view full, std::string_view base) {
  const std::string path = Normalized(full);
  std::string root = Normalized(base);
  while (root.size() > 1 && root.back() == '/') root.pop_back();

  // Only a match of whole components counts: "/ab" does not lie under "/a".
  const bool under =
      path.compare(0, root.size(), root) == 0 && (root.empty() || path.size() == root.size() ||
                                                  root.back() == '/' || path[root.size()] == '/');
  if (!under) return path;
  std::string rest = path.substr(root.size());
  if (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
  return rest;
}

std::string StripExtension(std::string_view path) {
  const std::size_t dot = ExtensionDot(path);
  return std::string(dot == std::string_view::npos ? path : path.substr(0, dot));
}

std::string GetExtension(std::string_view path) {
  const std::size_t dot = ExtensionDot(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot + 1));
}

void NormalizeSeparators(std::string& path, char separator) {
  for (char& c : path) {
    if (IsSeparator(c)) c = separator;
  }
}

bool IsDirectory(const std::string& path) {
  OS::FileStatus status;
  return OS::QueryStatus(Normalized(path), true, &status) && status.is_directory;
}

bool ClearReadOnly(const std::string& path) {
  const std::string target = Normalized(path);
  OS::FileStatus status;
  if (!OS::QueryStatus(target, true, &status)) return false;
  return status.owner_writable || OS::SetOwnerWritable(target);
}

bool MakeDirectory(const std::string& path) {
  if (path.empty()) return false;
  std::string target = Normalized(path);
  while (target.size() > 1 && target.back() == '/') target.pop_back();

  OS::FileStatus status;
  if (OS::QueryStatus(target, true, &status)) {
    if (status.is_directory) return true;
    errno = EEXIST;
    return false;
  }
  const std::size_t separator = target.rfind('/');
  if (separator != std::string::npos && separator > 0 &&
      !MakeDirectory(target.substr(0, separator))) {
    return false;
  }
  if (OS::CreateOneDirectory(target)) return true;
  const int error = errno;
  // Someone else may have created it in the meantime.
  if (error == EEXIST && OS::QueryStatus(target, true, &status) && status.is_directory) return true;
  LogPrintf("MakeDirectory> mkdir returned err %d", error);
  errno = error;
  return false;
}

bool FileExists(const std::string& path) { return OS::PathExists(Normalized(path)); }

BramResult QueryFileSize(const std::string& path, std::uint64_t* size) {
  OS::FileStatus status;
  if (!OS::QueryStatus(Normalized(path), true, &status)) {
    *size = 0;
    return BRAMRESULT_IO_FAILURE;
  }
  *size = status.size;
  return BRAMRESULT_OK;
}

BramResult QueryFileTime(const std::string& path, std::int64_t* time) {
  OS::FileStatus status;
  if (!OS::QueryStatus(Normalized(path), true, &status)) {
    *time = 0;
    return BRAMRESULT_IO_FAILURE;
  }
  *time = status.modified;
  return BRAMRESULT_OK;
}

bool DeletePath(const std::string& path) {
  return !path.empty() && OS::RemoveFile(Normalized(path));
}

bool MoveFileGuarded(const std::string& from, const std::string& to) {
  const std::string source = Normalized(from);
  const std::string target = Normalized(to);
  // Read-only is a property of the file here, as it is for its owner; the
  // permission check alone would let root move read-only files.
  OS::FileStatus status;
  if (!OS::QueryStatus(source, true, &status)) return false;
  if (!status.owner_writable) {
    errno = EACCES;
    return false;
  }
  if (!OS::ProbeWritable(source)) return false;
  return OS::RenameNoReplace(source, target);
}

bool RemoveTree(const std::string& path) {
  if (path.empty()) return false;
  const std::string root = Normalized(path);
  OS::FileStatus status;
  if (OS::QueryStatus(root, false, &status) && status.is_symlink) {
    errno = ENOTDIR;  // never descend through a link into what it points at
    return false;
  }
  std::vector<OS::DirectoryEntry> entries;
  if (OS::ReadDirectory(root, &entries)) {
    for (const OS::DirectoryEntry& entry : entries) {
      const std::string child = JoinPath(root, entry.name);
      if (entry.is_directory) {
        if (!RemoveTree(child)) return false;
      } else {
        DeletePath(child);  // what stays makes the final rmdir fail
      }
    }
  }
  return OS::RemoveEmptyDirectory(root);
}

BramResult ListDirectory(const std::string& path, std::set<std::string>* entries) {
  entries->clear();
  const std::string directory = Normalized(path);
  std::vector<OS::DirectoryEntry> found;
  if (!OS::ReadDirectory(directory, &found)) return BRAMRESULT_NOT_FOUND;
  for (const OS::DirectoryEntry& entry : found) entries->insert(JoinPath(directory, entry.name));
  return BRAMRESULT_OK;
}

std::string MakeTempName(const std::string& directory) {
  // Seeded from the clock; the process id keeps two processes that start
  // in the same millisecond apart.
  static std::atomic<std::uint32_t> counter{
      OS::TickCount32() ^ (static_cast<std::uint32_t>(OS::CurrentProcessId()) << 20)};
  const std::uint32_t number = counter.fetch_add(1);
  return JoinPath(Normalized(directory), "file" + std::to_string(number));
}

#include "foundation/path_guard.h"

#include <vector>

#include "platform/file_system.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Splits on both separators, dropping empty and "." components; false when a
// component is "..".
bool SplitComponents(std::string_view relative, std::vector<std::string_view>* components) {
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = start;
    while (end < relative.size() && !IsSeparator(relative[end])) ++end;
    const std::string_view part = relative.substr(start, end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") components->push_back(part);
    start = end + 1;
  }
  return true;
}

bool IsInside(const std::string& path, const std::string& root) {
  if (root == "/") return !path.empty() && path.front() == '/';
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                          path[root.size()] == '/');
}

// Walks the prefixes of root/c1/.../cn that exist; false when one of them is
// a link that does not resolve to a place inside the root.
bool StaysInsideOnDisk(const std::string& root, const std::vector<std::string_view>& components) {
  std::string real_root;
  if (!OS::ResolveRealPath(root, &real_root)) return true;  // nothing exists below a missing root
  std::string prefix = root;
  for (const std::string_view component : components) {
    if (prefix.back() != '/') prefix += '/';
    prefix += component;
    OS::FileStatus status;
    if (!OS::QueryStatus(prefix, false, &status)) return true;  // the rest does not exist yet
    if (status.is_symlink) {
      std::string target;
      if (!OS::ResolveRealPath(prefix, &target) || !IsInside(target, real_root)) return false;
    }
  }
  return true;
}

}  // namespace

bool ResolveSafePath(std::string_view root, std::string_view relative, std::string_view context,
                     std::string* joined, std::string* error) {
  std::vector<std::string_view> components;
  const bool lexically_safe =
      !relative.empty() && relative.find('\0') == std::string_view::npos &&
      !IsSeparator(relative.front()) &&
      !(relative.size() >= 2 && IsAsciiLetter(relative[0]) && relative[1] == ':') &&
      SplitComponents(relative, &components) && !components.empty();

  std::string base(root);
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string result = base;
  for (const std::string_view component : components) {
    if (result.empty() || result.back() != '/') result += '/';
    result += component;
  }

  if (!lexically_safe || base.empty() || !IsInside(result, base) ||
      !StaysInsideOnDisk(base, components)) {
    std::string shown(relative);
    for (std::size_t at = shown.find('\0'); at != std::string::npos; at = shown.find('\0', at)) {
      shown.replace(at, 1, "\\0");
    }
    *error = "unsafe path \"" + shown + "\" in " + std::string(context);
    return false;
  }
  *joined = std::move(result);
  return true;
}

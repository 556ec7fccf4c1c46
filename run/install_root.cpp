#include "run/install_locator.h"

#include "run/patch_view.h"

namespace BramPatch {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Drops trailing separators, then everything after the last separator; the
// separator itself stays.
std::string DirectoryPart(std::string path) {
  while (!path.empty() && IsSeparator(path.back())) path.pop_back();
  while (!path.empty() && !IsSeparator(path.back())) path.pop_back();
  return path;
}

}  // namespace

std::string DeriveInstallRoot(const std::string& chosenExecutable) {
  std::string root = DirectoryPart(chosenExecutable);
  // "bin" must be the whole last component: a folder such as "cabin" is not
  // the installation's bin folder.
  const bool inBin = (root.ends_with("bin/") || root.ends_with("bin\\")) &&
                     (root.size() == 4 || IsSeparator(root[root.size() - 5]));
  if (inBin) root = DirectoryPart(root);
  return root;
}

std::optional<std::string> BrowseInstallPath(PatchView& view) {
  std::optional<std::string> chosen = view.AskForProductExecutable();
  if (!chosen || chosen->empty()) return std::nullopt;
  return DeriveInstallRoot(*chosen);
}

}  // namespace BramPatch

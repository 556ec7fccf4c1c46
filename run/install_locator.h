// Where the installation to patch is: the product registration in the
// registry, or the product executable the user points at.
#pragma once

#include <optional>
#include <string>

namespace BramPatch {

class PatchView;

// The install path of the last registration under
// HKEY_LOCAL_MACHINE\SOFTWARE\Omvel\Products\<productKey> whose "ProductClass"
// equals productClass ignoring case (any class when productClass is empty),
// or "" when none matches. Registry failures are silent.
std::string FindInstallPath(const std::string& productKey, const std::string& productClass);

// The installation root for a chosen product executable: its directory with
// the separator kept ("/games/K/Kestro.exe" gives "/games/K/"), and the parent
// of that when the directory is the installation's "bin/" (case-sensitive:
// "/games/K/Bin/" stays).
std::string DeriveInstallRoot(const std::string& chosenExecutable);

// Asks the user through the view for the product executable ("Kestro.exe");
// nothing when the user cancelled.
std::optional<std::string> BrowseInstallPath(PatchView& view);

}  // namespace BramPatch

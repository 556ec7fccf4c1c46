// Message boxes and the installation question, shown on the main thread.
#pragma once

#include <optional>
#include <string>

#include "run/patch_view.h"

class wxWindow;

namespace BramPatch {

// Shows a modal message box without owner: `text`, `caption`, the buttons of
// `style`, no icon. Returns when the user has answered. Main thread only.
MessageBoxAnswer ShowOwnerlessMessageBox(const std::string& text, const std::string& caption,
                                         MessageBoxStyle style);

// The title of the question for the product executable.
inline constexpr const char* LOCATE_PRODUCT_TITLE = "Locate Kestro.exe...";
inline constexpr const char* PRODUCT_EXECUTABLE_NAME = "Kestro.exe";

// Asks, in an open-file dialog over `owner`, for an existing file named
// "Kestro.exe"; nothing when the user cancels. Main thread only.
std::optional<std::string> AskForProductExecutableFile(wxWindow* owner);

}  // namespace BramPatch

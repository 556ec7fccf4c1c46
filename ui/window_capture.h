// Pictures of a window as the screen shows it (for the demo and the tests).
#pragma once

#include <string>

class wxWindow;

namespace BramPatch {

// Copies what `window` shows on the screen (its children and the page
// included) into a PNG file at `path`. False when the picture cannot be
// taken or written. Main thread only.
bool SaveWindowScreenshot(wxWindow* window, const std::string& path);

}  // namespace BramPatch

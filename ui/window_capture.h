// Pictures of a window as the screen shows it (for the demo and the tests).
#pragma once

#include <string>

class wxWindow;

namespace BramPatch {

// Copies the screen area that `window` covers (the page included, which the
// web view draws itself) into a PNG file at `path`. False when the picture
// cannot be taken or written. Main thread only.
bool SaveWindowScreenshot(wxWindow* window, const std::string& path);

}  // namespace BramPatch

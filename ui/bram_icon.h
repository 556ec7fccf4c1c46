// The window icon "bramIcon": an XPM file installed beside the program.
#pragma once

#include <string>

class wxTopLevelWindow;

namespace BramPatch {

inline constexpr const char* BRAM_ICON_FILE_NAME = "bramIcon.xpm";

// BRAM_ICON_FILE_NAME in the directory of the running program.
std::string BramIconPath();

// Gives `window` the icon in the XPM file at `path`. False, with a
// diagnostic line and the window left without an icon, when the file is
// missing or unreadable.
bool SetBramIcon(wxTopLevelWindow& window, const std::string& path);

}  // namespace BramPatch

#include "ui/bram_icon.h"

#include <wx/icon.h>
#include <wx/log.h>
#include <wx/toplevel.h>

#include "foundation/log.h"
#include "foundation/paths.h"
#include "platform/process_directory.h"
#include "ui/wx_text.h"

namespace BramPatch {

std::string BramIconPath() {
  const std::string program = OS::GetExecutablePath();
  const std::size_t slash = program.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "." : program.substr(0, slash);
  return directory + "/" + BRAM_ICON_FILE_NAME;
}

bool SetBramIcon(wxTopLevelWindow& window, const std::string& path) {
  if (!FileExists(path)) {
    LogPrintf("SetBramIcon> no icon file %s", path.c_str());
    return false;
  }
  wxLogNull quiet;  // a broken file is reported here, not in a toolkit dialog
  wxIcon icon(ToWxString(path), wxBITMAP_TYPE_XPM);
  if (!icon.IsOk()) {
    LogPrintf("SetBramIcon> the icon file %s cannot be read", path.c_str());
    return false;
  }
  window.SetIcon(icon);
  return true;
}

}  // namespace BramPatch

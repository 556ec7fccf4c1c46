#include "ui/window_capture.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/window.h>

#include "ui/wx_text.h"

namespace BramPatch {

bool SaveWindowScreenshot(wxWindow* window, const std::string& path) {
  if (window == nullptr || !window->IsShownOnScreen()) return false;
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  const wxRect area = window->GetScreenRect();
  wxBitmap picture(area.width, area.height);
  {
    wxScreenDC screen;
    wxMemoryDC memory(picture);
    if (!memory.Blit(0, 0, area.width, area.height, &screen, area.x, area.y)) return false;
  }
  return picture.ConvertToImage().SaveFile(ToWxString(path), wxBITMAP_TYPE_PNG);
}

}  // namespace BramPatch

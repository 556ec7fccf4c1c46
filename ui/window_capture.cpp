#include "ui/window_capture.h"

#include <wx/bitmap.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/window.h>

#include "ui/wx_text.h"

namespace BramPatch {

bool SaveWindowScreenshot(wxWindow* window, const std::string& path) {
  if (window == nullptr || !window->IsShownOnScreen()) return false;
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  const wxSize size = window->GetSize();
  wxBitmap picture(size.x, size.y);
  {
    // The window's own surface: a copy of the screen's root would be read
    // once and then served from a cache, showing the first picture forever.
    wxWindowDC source(window);
    wxMemoryDC memory(picture);
    if (!memory.Blit(0, 0, size.x, size.y, &source, 0, 0)) return false;
  }
  return picture.ConvertToImage().SaveFile(ToWxString(path), wxBITMAP_TYPE_PNG);
}

}  // namespace BramPatch

#include "ui/message_box.h"

#include <wx/filedlg.h>
#include <wx/msgdlg.h>

#include "ui/wx_text.h"

namespace BramPatch {

MessageBoxAnswer ShowOwnerlessMessageBox(const std::string& text, const std::string& caption,
                                         MessageBoxStyle style) {
  const long buttons = style == MESSAGEBOX_YES_NO ? wxYES_NO : wxOK;
  wxMessageDialog box(nullptr, ToWxString(text), ToWxString(caption), buttons | wxICON_NONE);
  switch (box.ShowModal()) {
    case wxID_YES:
      return MESSAGEBOX_ANSWER_YES;
    case wxID_NO:
      return MESSAGEBOX_ANSWER_NO;
    default:
      // Closing a yes/no box by other means counts as No.
      return style == MESSAGEBOX_YES_NO ? MESSAGEBOX_ANSWER_NO : MESSAGEBOX_ANSWER_OK;
  }
}

std::optional<std::string> AskForProductExecutableFile(wxWindow* owner) {
  const wxString pattern = wxString(PRODUCT_EXECUTABLE_NAME) + "|" + PRODUCT_EXECUTABLE_NAME;
  wxFileDialog dialog(owner, LOCATE_PRODUCT_TITLE, wxEmptyString, wxEmptyString, pattern,
                      wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  return FromWxString(dialog.GetPath());
}

}  // namespace BramPatch

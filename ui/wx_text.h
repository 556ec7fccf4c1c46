// Text between the patcher (UTF-8 in std::string) and the toolkit (wxString).
#pragma once

#include <wx/string.h>

#include <string>
#include <string_view>

#include "foundation/utf.h"

namespace BramPatch {

// Malformed UTF-8 (a path of odd bytes, say) shows as U+FFFD instead of
// turning the whole text empty, as wxString::FromUTF8 would.
inline wxString ToWxString(std::string_view utf8) { return wxString(Utf8ToWide(utf8)); }

inline std::string FromWxString(const wxString& text) { return text.utf8_string(); }

}  // namespace BramPatch

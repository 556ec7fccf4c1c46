#include "run/log_text.h"

#include "text/text_kind.h"

namespace BramPatch {

LogText::Piece LogText::Append(int kind, const std::string& text) {
  switch (kind) {
    case TEXT_KIND_NORMAL:
      m_colour = LOG_COLOUR_NORMAL;
      break;
    case TEXT_KIND_SECONDARY:
      m_colour = LOG_COLOUR_SECONDARY;
      break;
    case TEXT_KIND_ERROR:
      m_colour = LOG_COLOUR_ERROR;
      break;
    default:
      break;
  }
  Piece piece{m_first ? text : "\n" + text, m_colour};
  m_first = false;
  return piece;
}

}  // namespace BramPatch

// What the log of a patch view does with each posted text: the colour a kind
// gives it and the line break before every text but the first.
//
// Used by every view (window and console) so that both show the same log.
#pragma once

#include <cstdint>
#include <string>

namespace BramPatch {

struct LogColour {
  std::uint8_t red, green, blue;
  bool operator==(const LogColour&) const = default;
};

inline constexpr LogColour LOG_COLOUR_NORMAL{0, 0, 0};
inline constexpr LogColour LOG_COLOUR_SECONDARY{128, 128, 128};
inline constexpr LogColour LOG_COLOUR_ERROR{255, 0, 0};

// One log's state. Not thread-safe: the view that owns it calls it on its own
// thread (under its log lock).
class LogText {
 public:
  struct Piece {
    std::string text;  // what to append: "\n" before every text but the first
    LogColour colour;  // the style to append it in
  };

  // Kinds 0, 1 and 2 select their colour; any other kind keeps the colour of
  // the text before it (black at the start).
  Piece Append(int kind, const std::string& text);

 private:
  bool m_first = true;
  LogColour m_colour = LOG_COLOUR_NORMAL;
};

}  // namespace BramPatch

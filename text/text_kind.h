// Kinds of the texts that reach the window: the message sink passes one with
// every text, and the window picks the text's colour from it.
#pragma once

enum TextKind : int {
  TEXT_KIND_NORMAL = 0,     // ordinary text, black
  TEXT_KIND_SECONDARY = 1,  // secondary text, grey
  TEXT_KIND_ERROR = 2,      // error, red
};

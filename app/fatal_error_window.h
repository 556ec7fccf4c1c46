// The "Fatal Error" box of the window program, shown by the helper process
// that a guarded crash starts (foundation/fatal_error_box.h).
#pragma once

namespace BramPatch {

// Brings the toolkit up in this (fresh) process and shows a box without
// owner with caption, text and an OK button; without a display the box
// becomes one line on standard error.
void ShowFatalErrorWindow(const char* caption, const char* text);

}  // namespace BramPatch

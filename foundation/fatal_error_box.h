// The "Fatal Error" box that follows a guarded crash. No window may be
// touched from a signal handler, so the crashed process starts a helper —
// the same executable with FATAL_ERROR_BOX_SWITCH — that shows the box, and
// waits for it. A program offers this by calling
// RunFatalErrorBoxIfRequested first thing in main; a program that does not
// gets the box as one line on standard error instead.
#pragma once

constexpr char FATAL_ERROR_BOX_SWITCH[] = "--omvel-fatal-error-box";
constexpr char FATAL_ERROR_BOX_CAPTION[] = "Fatal Error";
constexpr char FATAL_ERROR_BOX_TEXT[] = "Unhandled Exception";

// Shows a box with caption and text and returns when it is dismissed.
using FatalErrorBoxFunction = void (*)(const char* caption, const char* text);

// nullptr restores the default: "Fatal Error: Unhandled Exception" on
// standard error. Set it before RunFatalErrorBoxIfRequested.
void SetFatalErrorBoxFunction(FatalErrorBoxFunction show);

// When argv[1] is FATAL_ERROR_BOX_SWITCH: shows the box and returns true;
// main then returns 0 at once. Otherwise records that this executable
// serves as its own helper and returns false. argv must stay valid for the
// life of the process (main's argv does).
bool RunFatalErrorBoxIfRequested(int argc, char** argv);

// Shows the box from the crash path and returns when it is dismissed.
// Async-signal-safe.
void ShowFatalErrorBox();

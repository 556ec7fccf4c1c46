// The console front end's view of its terminal: whether streams are
// terminals, and Ctrl+C delivered to a thread instead of a signal handler.
#pragma once

#include <functional>

namespace OS {

// True when standard input (0), output (1) or error (2) is a terminal.
bool IsTerminal(int stream);

// From now on SIGINT, SIGTERM and SIGHUP of the process are taken by one
// watcher thread, which calls `onSignal` with the signal's number for each
// (one call at a time). REQUIRES: called before the process starts any other
// thread, so that every thread inherits the blocked signals; once per process.
void WatchInterruptSignals(std::function<void(int signal)> onSignal);

// The signal numbers onSignal may see.
int InterruptSignalNumber();  // Ctrl+C
int TerminateSignalNumber();  // SIGTERM

}  // namespace OS

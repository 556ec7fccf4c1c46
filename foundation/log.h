// The diagnostic log: developer-facing lines on the debugger channel (the
// system log at LOG_DEBUG) and on standard output. Texts begin with the
// emitting operation and "> ", e.g. "MakeDirectory> mkdir returned err %d";
// nothing else (time, level, thread) is added.
//
// Standard output: when a launcher created the FIFO /tmp/<pid>cout (owned by
// our effective user) and holds it open for reading, static initialisation
// installs it as fd 1 and every line goes there as UTF-16LE. Otherwise lines
// go to fd 1 as UTF-8 bytes. Logging never fails towards its caller.
#pragma once

#include <mutex>
#include <string_view>

// printf-style; the text is cut to 32767 bytes (never inside a UTF-8
// sequence) and dispatched up to its first NUL.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Wide printf-style (%ls for wide strings); cut to 32767 wide characters,
// converted to UTF-8 and dispatched.
void LogPrintfW(const wchar_t* format, ...);

// The process-wide log lock, re-entrant. Every dispatched line is written
// under it; crash and assertion reports hold it around several lines so that
// no other message lands between them. Valid for the whole process lifetime,
// static destruction included.
std::recursive_mutex& LogLock();

// Appends a line feed to `message` and sends it to the debugger channel and
// standard output, under LogLock().
void LogDispatch(std::string_view message);

// True when the start-up redirect installed the FIFO as standard output.
bool LogIsRedirected();

// Ends the standard-output part of the log: flushes stdio's stdout and, when
// redirected, detaches the FIFO from fd 1 (fd 1 then points at /dev/null, so
// the launcher sees the end of data). Runs by itself at process exit; later
// lines still reach the debugger channel. Idempotent.
void LogShutdown();

// Kernel objects of this process (threads, events, mutexes) behind opaque
// handles, with the lifetime rules of Win32 handles: an object lives while a
// handle refers to it, and a running thread keeps its own object alive, so a
// handle may be closed while its thread still runs. A handle value is never
// reused; passing a closed or made-up handle throws OSException instead of
// touching freed memory.
//
// Every function here throws OSException with an empty message on failure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace OS {

enum class Handle : std::uintptr_t {};

constexpr Handle NULL_HANDLE = Handle{0};
constexpr Handle INVALID_HANDLE_VALUE = Handle{~std::uintptr_t{0}};

// Results of WaitObject.
constexpr std::uint32_t WAIT_OBJECT_0 = 0;
constexpr std::uint32_t WAIT_ABANDONED = 0x80;  // a mutex whose owner thread ended; now ours
constexpr std::uint32_t WAIT_TIMEOUT = 0x102;
constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFF;  // never returned: thrown instead

constexpr std::uint32_t INFINITE = 0xFFFFFFFF;  // wait without time-out
constexpr std::int32_t STILL_ACTIVE = 259;      // exit code of a thread that still runs

// The body of a thread; its result becomes the thread's exit code.
using ThreadFunction = std::int32_t (*)(void* parameter);

// Starts a thread that runs function(parameter) at once. stack_size 0 means
// the default; other sizes are rounded up to what the system accepts. The
// parameters are copied into a holder that the new thread frees, so the
// caller may forget them at once.
Handle StartThread(std::size_t stack_size, ThreadFunction function, void* parameter);

// An event. A manual-reset event stays signalled until lowered and releases
// every waiter; an automatic-reset event releases one waiter and lowers
// itself. A non-null name makes the event shared by every MakeEvent of this
// process with the same name (the first creator's settings hold); names do
// not reach other processes.
Handle MakeEvent(bool manual_reset, bool initially_signalled, const char* name);

// An unnamed mutex, re-entrant for its owning thread. A mutex whose owner
// thread ends while holding it is abandoned: the next waiter gets it with
// WAIT_ABANDONED.
Handle MakeMutex(bool initially_owned);

void CloseObject(Handle handle);

// Signal / unsignal an event; true on success.
bool RaiseEvent(Handle handle);
bool LowerEvent(Handle handle);

// Releases the threads waiting right now (all of them for a manual-reset
// event, at most one for an automatic-reset one) and leaves the event
// unsignalled; with nobody waiting it only lowers the event.
bool PulseEvent(Handle handle);

// True when released; false when the calling thread does not own the mutex.
// Any other failure (not a mutex, closed handle) throws.
bool UnlockMutex(Handle handle);

// Waits until the object is signalled (a thread has ended, an event is
// raised, a mutex is free and now owned by the caller) or ms have passed.
// Returns WAIT_OBJECT_0, WAIT_ABANDONED or WAIT_TIMEOUT.
std::uint32_t WaitObject(Handle handle, std::uint32_t ms);

// *code = the thread's exit code, or STILL_ACTIVE while it runs. False (and
// *code untouched) when the handle is not a thread.
bool ReadThreadExitCode(Handle handle, std::int32_t* code);

}  // namespace OS

// Whether a debugger (any tracer) is attached to this process.
#pragma once

// True when /proc/self/status shows a TracerPid other than 0.
bool IsDebuggerAttached();

// Programming errors: a failed assertion writes a dump, logs itself with
// the call stack and aborts the process.
#pragma once

// Does nothing when condition holds. Otherwise, under the log lock: logs
// "Assertion failed: <text>", writes a dump (WriteDumpNow), logs the call
// stack resolved, releases the lock and aborts. `text` is the condition's
// source text.
void AssertCondition(bool condition, const char* text);

// AssertCondition with the condition's source text.
#define OMVEL_ASSERT(condition) AssertCondition(static_cast<bool>(condition), #condition)

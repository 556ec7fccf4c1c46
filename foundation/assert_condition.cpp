#include "foundation/assert_condition.h"

#include <mutex>

#include "foundation/call_stack.h"
#include "foundation/crash_handlers.h"
#include "foundation/crash_internal.h"
#include "foundation/log.h"

void AssertCondition(bool condition, const char* text) {
  if (condition) return;
  {
    std::lock_guard<std::recursive_mutex> guard(LogLock());
    LogPrintf("Assertion failed: %s", text);
    WriteDumpNow();
    LogCallStack(true);
  }
  AbortAfterReport();
}

// Shared by the crash-handling files; not for other callers.
#pragma once

// Ends the process through abort() after a report that already wrote its
// dump, so that the SIGABRT handler does not treat it as a new fault.
[[noreturn]] void AbortAfterReport();

#include "foundation/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "foundation/utf.h"
#include "platform/log_output.h"
#include "platform/process_info.h"

namespace {

constexpr std::size_t LOG_BUFFER_START = 4096;
constexpr std::size_t LOG_BUFFER_LIMIT = 32768;  // texts are cut to one less

// The console redirect. Created on first use (at the latest during static
// initialisation, see g_log_start) and never destroyed, so that the lock
// stays valid for code that logs from static destructors or other threads
// while the process ends.
struct ConsoleRedirect {
  ConsoleRedirect() {
    const std::string fifo = "/tmp/" + std::to_string(OS::CurrentProcessId()) + "cout";
    const int fd = OS::OpenOwnedFifoForWriting(fifo);
    if (fd >= 0) redirected = OS::InstallAsStandardOutput(fd);
  }

  std::recursive_mutex lock;
  bool redirected = false;  // fd 1 is the launcher's FIFO; lines go as UTF-16LE
  bool shut_down = false;   // guarded by lock; no more standard-output lines
};

ConsoleRedirect& Console() {
  static ConsoleRedirect* console = new ConsoleRedirect;
  return *console;
}

struct LogStart {
  LogStart() { Console(); }
  ~LogStart() { LogShutdown(); }
} g_log_start;

// Drops a UTF-8 sequence that the cut left incomplete at the end.
void TrimPartialSequence(std::string& text) {
  const std::size_t size = text.size();
  for (std::size_t back = 1; back <= 4 && back <= size; ++back) {
    const unsigned char c = static_cast<unsigned char>(text[size - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (needed > back) text.resize(size - back);
    return;
  }
}

}  // namespace

std::recursive_mutex& LogLock() { return Console().lock; }

bool LogIsRedirected() { return Console().redirected; }

void LogDispatch(std::string_view message) {
  const int saved_errno = errno;  // callers report errno after logging it
  ConsoleRedirect& console = Console();
  {
    std::lock_guard<std::recursive_mutex> guard(console.lock);
    std::string line(message);
    line += '\n';
    // The system log keeps records, not lines: the record goes without the
    // line feed.
    OS::WriteDebugChannel(message);
    if (!console.shut_down) {
      if (console.redirected) {
        const std::string bytes = Utf16ToLeBytes(Utf8ToUtf16(line));
        OS::WriteStandardOutput(bytes.data(), bytes.size());
      } else {
        OS::WriteStandardOutput(line.data(), line.size());
      }
    }
  }
  errno = saved_errno;
}

void LogShutdown() {
  ConsoleRedirect& console = Console();
  std::lock_guard<std::recursive_mutex> guard(console.lock);
  if (console.shut_down) return;
  console.shut_down = true;
  std::fflush(stdout);
  if (console.redirected) OS::DetachStandardOutput();
}

void LogPrintf(const char* format, ...) {
  const int saved_errno = errno;
  std::string text;
  for (std::size_t size = LOG_BUFFER_START;; size *= 2) {
    std::unique_ptr<char[]> buffer(new char[size]);
    buffer[0] = '\0';
    va_list args;
    va_start(args, format);
    const int needed = std::vsnprintf(buffer.get(), size, format, args);
    va_end(args);
    buffer[size - 1] = '\0';
    const bool fits = needed >= 0 && static_cast<std::size_t>(needed) < size;
    if (fits || needed < 0 || size >= LOG_BUFFER_LIMIT) {
      text.assign(buffer.get(), std::strlen(buffer.get()));
      if (!fits) TrimPartialSequence(text);
      break;
    }
  }
  errno = saved_errno;
  LogDispatch(text);
}

void LogPrintfW(const wchar_t* format, ...) {
  const int saved_errno = errno;
  std::wstring text;
  for (std::size_t size = LOG_BUFFER_START;; size *= 2) {
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[size]);
    buffer[0] = L'\0';
    va_list args;
    va_start(args, format);
    // -1 both when the text does not fit and on a conversion error; glibc
    // leaves the text that fitted in the buffer.
    const int written = std::vswprintf(buffer.get(), size, format, args);
    va_end(args);
    buffer[size - 1] = L'\0';
    if (written >= 0 || size >= LOG_BUFFER_LIMIT) {
      text.assign(buffer.get(), std::wcslen(buffer.get()));
      break;
    }
  }
  errno = saved_errno;
  LogDispatch(WideToUtf8(text));
}

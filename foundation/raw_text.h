// Text building and line output for code that runs in a signal handler:
// fixed buffers, no allocation, no stdio, no locks.
#pragma once

#include <cstddef>
#include <cstdint>

class RawText {
 public:
  static constexpr std::size_t CAPACITY = 512;

  RawText& Append(const char* text);
  RawText& AppendDecimal(std::int64_t value);
  RawText& AppendHex(std::uint64_t value);
  const char* Text() const { return m_buffer; }
  std::size_t Length() const { return m_length; }

 private:
  char m_buffer[CAPACITY] = {};  // always NUL-terminated; longer texts are cut
  std::size_t m_length = 0;
};

// Whether lines for standard output go as UTF-16LE (the launcher's FIFO is
// installed as fd 1). Set once while the crash handlers are installed.
void SetRawStandardOutputWide(bool wide);

// Writes text and a line feed to fd (1 or 2) with write(2), retrying on
// EINTR. Standard output gets UTF-16LE when set above (ASCII texts only).
void RawWriteLine(int fd, const char* text);

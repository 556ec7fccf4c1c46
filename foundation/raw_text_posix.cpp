#include "foundation/raw_text.h"

#include <errno.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {

std::atomic<bool> g_stdout_wide{false};

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

}  // namespace

RawText& RawText::Append(const char* text) {
  while (*text != '\0' && m_length + 1 < CAPACITY) m_buffer[m_length++] = *text++;
  m_buffer[m_length] = '\0';
  return *this;
}

RawText& RawText::AppendDecimal(std::int64_t value) {
  char digits[24];
  int count = 0;
  std::uint64_t magnitude =
      value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[count++] = '-';
  char text[24];
  for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  text[count] = '\0';
  return Append(text);
}

RawText& RawText::AppendHex(std::uint64_t value) {
  char text[20];
  int count = 0;
  char digits[20];
  do {
    digits[count++] = "0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value != 0);
  for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  text[count] = '\0';
  return Append(text);
}

void SetRawStandardOutputWide(bool wide) { g_stdout_wide.store(wide); }

void RawWriteLine(int fd, const char* text) {
  const std::size_t length = std::strlen(text);
  if (fd == 1 && g_stdout_wide.load()) {
    char wide[2 * (RawText::CAPACITY + 1)];
    std::size_t size = 0;
    for (std::size_t i = 0; i < length && size + 4 <= sizeof(wide); ++i) {
      wide[size++] = text[i];
      wide[size++] = '\0';
    }
    wide[size++] = '\n';
    wide[size++] = '\0';
    WriteAll(fd, wide, size);
    return;
  }
  char line[RawText::CAPACITY + 1];
  const std::size_t size = length < RawText::CAPACITY ? length : RawText::CAPACITY;
  std::memcpy(line, text, size);
  line[size] = '\n';
  WriteAll(fd, line, size + 1);
}

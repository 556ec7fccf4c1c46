// BufferLineReader: text lines out of a data buffer, for small text files.
// A line ends at CR, LF, CR LF or LF CR; the terminator is not stored.
#pragma once

#include <string>

#include "foundation/bram_result.h"

class BramDataBuffer;

class BufferLineReader {
 public:
  // `buffer` must outlive the reader; reading starts at its position.
  explicit BufferLineReader(BramDataBuffer& buffer) : m_buffer(buffer) {}

  // Replaces *line with the next line. When the buffer runs out inside the
  // line, *line holds what was read before the end, the first such failure
  // becomes the end-of-data code and is returned. A failure of the look-ahead
  // after a terminator is returned without setting the end-of-data code (the
  // line is complete); the next call then meets the end at once.
  // Callers test GetEndOfData() after each call.
  BramResult ReadLine(std::string* line);

  // 0 until a read inside a line failed; then that read's result.
  BramResult GetEndOfData() const { return m_end_of_data; }

 private:
  BramDataBuffer& m_buffer;
  BramResult m_end_of_data = BRAMRESULT_OK;
};

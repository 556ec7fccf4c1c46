#include "kit/buffer_line_reader.h"

#include "kit/data_buffer.h"

BramResult BufferLineReader::ReadLine(std::string* line) {
  line->clear();
  char c;
  for (;;) {
    const BramResult result = m_buffer.ReadData(&c, 1);
    if (result != BRAMRESULT_OK) {
      if (m_end_of_data == BRAMRESULT_OK) m_end_of_data = result;
      return result;
    }
    if (c == '\r' || c == '\n') break;
    line->push_back(c);
  }
  const char other = c == '\r' ? '\n' : '\r';
  char next;
  const BramResult result = m_buffer.ReadData(&next, 1);
  if (result != BRAMRESULT_OK) return result;
  if (next != other) return m_buffer.SetPosition(m_buffer.GetPosition() - 1);
  return BRAMRESULT_OK;
}

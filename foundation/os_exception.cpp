#include "foundation/os_exception.h"

#include <utility>

OSException::OSException(std::string message) : m_message(std::move(message)) {}

OSException::~OSException() = default;

const char* OSException::what() const noexcept {
  try {
    m_whattext = m_message;
  } catch (...) {
    // Out of memory: keep the previous text, which is at worst empty.
  }
  return m_whattext.c_str();
}

std::string OSException::Message() const { return m_message; }

#include "text/message_format.h"

std::string FormatMessageText(std::string_view format,
                              std::initializer_list<std::string_view> values) {
  std::string out;
  auto next = values.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    std::string_view rest = format.substr(i + 1);
    if (rest.front() == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t length = 0;
    if (rest.starts_with("s") || rest.starts_with("d") || rest.starts_with("u")) {
      length = 1;
    } else if (rest.starts_with("lu")) {
      length = 2;
    }
    if (length == 0 || next == values.end()) {
      out += format[i];
      continue;
    }
    out += *next++;
    i += length;
  }
  return out;
}

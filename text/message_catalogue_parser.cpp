#include "text/message_catalogue_parser.h"

#include <algorithm>
#include <map>
#include <utility>

namespace {

// Thrown inside the parser only; carries the message without the location.
struct LineFault {
  std::string what;
};

bool IsDigits(std::string_view field) {
  return !field.empty() &&
         std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal number up to 65535 (leading zeros allowed, no sign, no blanks).
std::uint16_t ParseNumber(std::string_view field, const char* name) {
  if (!IsDigits(field))
    throw LineFault{std::string(name) + " \"" + std::string(field) + "\" is not a decimal number"};
  unsigned long value = 0;
  for (char c : field) {
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > 0xFFFF)
      throw LineFault{std::string(name) + " " + std::string(field) + " is above 65535"};
  }
  return static_cast<std::uint16_t>(value);
}

std::string Hex(unsigned value) {
  static const char DIGITS[] = "0123456789ABCDEF";
  std::string text = "0x";
  text.push_back(DIGITS[(value >> 4) & 0xF]);
  text.push_back(DIGITS[value & 0xF]);
  return text;
}

// Decodes one UTF-8 sequence starting at text[pos] strictly (no overlong forms,
// no surrogates, nothing above U+10FFFF) and advances pos past it.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length;
  char32_t code;
  char32_t minimum;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    throw LineFault{"malformed UTF-8 (byte " + Hex(lead) + ")"};
  }
  if (pos + length > text.size()) throw LineFault{"malformed UTF-8 (truncated sequence)"};
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) throw LineFault{"malformed UTF-8 (byte " + Hex(next) + ")"};
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    throw LineFault{"malformed UTF-8 (overlong form, surrogate or value above U+10FFFF)"};
  }
  pos += length;
  return code;
}

void AppendUtf16(std::u16string& units, char32_t code) {
  if (code < 0x10000) {
    units.push_back(static_cast<char16_t>(code));
  } else {
    code -= 0x10000;
    units.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
  }
}

// Resolves the escapes of a text field into UTF-8 and UTF-16.
void DecodeText(std::string_view field, CatalogueEntry& entry) {
  if (field.empty()) throw LineFault{"empty text (leave the line out for an absent entry)"};
  std::size_t pos = 0;
  while (pos < field.size()) {
    const unsigned char c = static_cast<unsigned char>(field[pos]);
    if (c == '\\') {
      if (pos + 1 == field.size()) throw LineFault{"backslash at the end of the text (write \\\\)"};
      const char escaped = field[pos + 1];
      char resolved;
      switch (escaped) {
        case 'n':
          resolved = '\n';
          break;
        case 't':
          resolved = '\t';
          break;
        case '\\':
          resolved = '\\';
          break;
        default:
          throw LineFault{std::string("unknown escape \\") + escaped + " (only \\n, \\t and \\\\)"};
      }
      entry.text.push_back(resolved);
      entry.units.push_back(static_cast<char16_t>(resolved));
      pos += 2;
    } else if (c == '\t') {
      throw LineFault{"tab inside the text (write \\t)"};
    } else if (c == '\r') {
      throw LineFault{"carriage return (the file must have LF line ends)"};
    } else if (c < 0x20 || c == 0x7F) {
      throw LineFault{"control character " + Hex(c) + " in the text"};
    } else {
      const std::size_t start = pos;
      AppendUtf16(entry.units, DecodeUtf8(field, pos));
      entry.text.append(field.substr(start, pos - start));
    }
  }
  if (entry.units.size() > CATALOGUE_MAX_TEXT_UNITS) {
    throw LineFault{"text has " + std::to_string(entry.units.size()) + " UTF-16 units, at most " +
                    std::to_string(CATALOGUE_MAX_TEXT_UNITS) + " fit"};
  }
}

CatalogueEntry ParseEntry(std::string_view line) {
  const std::size_t firstTab = line.find('\t');
  const std::size_t secondTab =
      firstTab == std::string_view::npos ? firstTab : line.find('\t', firstTab + 1);
  if (secondTab == std::string_view::npos) throw LineFault{"expected id TAB language TAB text"};
  CatalogueEntry entry;
  entry.id = ParseNumber(line.substr(0, firstTab), "id");
  entry.language = ParseNumber(line.substr(firstTab + 1, secondTab - firstTab - 1), "language");
  if (std::find(std::begin(CATALOGUE_LANGUAGES), std::end(CATALOGUE_LANGUAGES), entry.language) ==
      std::end(CATALOGUE_LANGUAGES)) {
    throw LineFault{"language " + std::to_string(entry.language) +
                    " is not one of 9, 1031, 1036, 1049"};
  }
  DecodeText(line.substr(secondTab + 1), entry);
  return entry;
}

bool IsBlank(std::string_view line) {
  return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

std::string Located(std::string_view fileName, int line, const std::string& what) {
  return std::string(fileName) + ":" + std::to_string(line) + ": " + what;
}

}  // namespace

bool ParseMessageCatalogue(std::string_view content, std::string_view fileName,
                           std::vector<CatalogueEntry>& entries, std::string& error) {
  entries.clear();
  constexpr std::string_view BOM = "\xEF\xBB\xBF";
  if (content.substr(0, BOM.size()) == BOM) content.remove_prefix(BOM.size());

  std::map<std::pair<std::uint16_t, std::uint16_t>, int> firstLine;  // (id, language) -> line
  int lineNumber = 0;
  while (!content.empty()) {
    ++lineNumber;
    const std::size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    if (line.starts_with('#') || IsBlank(line)) continue;
    try {
      CatalogueEntry entry = ParseEntry(line);
      entry.line = lineNumber;
      const auto [it, inserted] =
          firstLine.emplace(std::pair(entry.id, entry.language), lineNumber);
      if (!inserted) {
        throw LineFault{"second entry for id " + std::to_string(entry.id) + ", language " +
                        std::to_string(entry.language) + " (first on line " +
                        std::to_string(it->second) + ")"};
      }
      entries.push_back(std::move(entry));
    } catch (const LineFault& fault) {
      error = Located(fileName, lineNumber, fault.what);
      return false;
    }
  }
  for (const CatalogueEntry& entry : entries) {
    if (entry.language != CATALOGUE_ENGLISH && !firstLine.contains({entry.id, CATALOGUE_ENGLISH})) {
      error = Located(fileName, entry.line,
                      "id " + std::to_string(entry.id) + " has no English (language 9) entry");
      return false;
    }
  }
  return true;
}

#include "foundation/registry_text.h"

#include <algorithm>
#include <cstdio>

#include "foundation/registry_names.h"
#include "foundation/utf.h"

namespace {

constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";
constexpr std::string_view UTF16LE_BOM = "\xFF\xFE";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         FoldRegistryName(text.substr(0, prefix.size())) == FoldRegistryName(prefix);
}

class Parser {
 public:
  explicit Parser(RegistryDocument* document) : m_document(document) {}

  // Parses the UTF-8 text (no byte-order mark). False with m_error set.
  bool Run(std::string_view text);

  RegistryParseError m_error;

 private:
  bool Fail(std::string message) {
    m_error.line = m_line;
    m_error.message = std::move(message);
    return false;
  }

  // Next line without its line end into *line; false at the end of the text.
  bool NextLine(std::string_view* line);
  bool ParseSection(std::string_view line);
  bool ParseValue(std::string_view line);
  // A quoted string at the start of *text: unescaped into *out, *text moved
  // past the closing quote.
  bool ParseQuoted(std::string_view* text, std::string* out);
  // The rest of a hex value, continuation lines included, checked and kept
  // as written.
  bool ParseHex(std::string_view data, std::string* raw);
  bool CheckHexBytes(std::string_view bytes, bool* continued);
  void FlushComments(std::vector<std::string>* into);

  RegistryDocument* m_document;
  std::string_view m_text;
  std::size_t m_pos = 0;
  int m_line = 0;
  int m_section = -1;  // index of the section values go to
  std::vector<std::string> m_comments;
};

bool Parser::NextLine(std::string_view* line) {
  if (m_pos >= m_text.size()) return false;
  std::size_t end = m_text.find('\n', m_pos);
  if (end == std::string_view::npos) end = m_text.size();
  *line = m_text.substr(m_pos, end - m_pos);
  m_pos = end + 1;
  ++m_line;
  if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
  return true;
}

void Parser::FlushComments(std::vector<std::string>* into) {
  into->insert(into->end(), m_comments.begin(), m_comments.end());
  m_comments.clear();
}

bool Parser::Run(std::string_view text) {
  m_text = text;
  std::string_view line;
  NextLine(&line);
  m_document->crlf = m_text.find("\r\n") == line.size();
  if (Trim(line) != REGISTRY_FILE_HEADER) {
    return Fail("the first line is not \"" + std::string(REGISTRY_FILE_HEADER) + "\"");
  }
  while (NextLine(&line)) {
    if (!IsRegistryText(line)) return Fail("invalid UTF-8 or a control character");
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty()) continue;
    bool ok = true;
    switch (trimmed.front()) {
      case ';':
        m_comments.emplace_back(trimmed);
        break;
      case '[':
        ok = ParseSection(trimmed);
        break;
      case '"':
      case '@':
        ok = ParseValue(trimmed);
        break;
      default:
        ok = Fail("not a key, a value or a comment");
    }
    if (!ok) return false;
  }
  FlushComments(&m_document->trailing_comments);
  return true;
}

bool Parser::ParseSection(std::string_view line) {
  if (line.back() != ']') return Fail("a key line must end with ']'");
  std::string_view path = line.substr(1, line.size() - 2);
  if (!path.empty() && path.front() == '-') {
    return Fail("key deletions (\"[-...]\") belong in files to import, not in the registry");
  }
  const std::size_t root_end = std::min(path.find('\\'), path.size());
  if (!RegistryNamesEqual(path.substr(0, root_end), REGISTRY_ROOT_NAME)) {
    return Fail("the key is not under " + std::string(REGISTRY_ROOT_NAME));
  }
  path.remove_prefix(root_end);
  RegistryNames key;
  if (!path.empty()) {
    path.remove_prefix(1);
    if (path.empty() || path.back() == '\\' || !SplitRegistryPath(path, false, &key)) {
      return Fail("empty key name in the key path");
    }
  }
  m_section = m_document->FindSection(key);
  if (m_section >= 0) {
    // A key named twice: its later lines join the first section.
    for (std::string& comment : m_comments) {
      RegistryEntry entry;
      entry.comment = std::move(comment);
      m_document->sections[m_section].entries.push_back(std::move(entry));
    }
    m_comments.clear();
    return true;
  }
  RegistrySection section;
  section.key = std::move(key);
  FlushComments(&section.comments);
  m_document->sections.push_back(std::move(section));
  m_section = static_cast<int>(m_document->sections.size()) - 1;
  return true;
}

bool Parser::ParseQuoted(std::string_view* text, std::string* out) {
  out->clear();
  for (std::size_t i = 1; i < text->size(); ++i) {
    const char c = (*text)[i];
    if (c == '"') {
      text->remove_prefix(i + 1);
      return true;
    }
    if (c == '\\') {
      if (i + 1 == text->size()) break;
      const char escaped = (*text)[++i];
      if (escaped != '\\' && escaped != '"') {
        return Fail(std::string("unknown escape \"\\") + escaped + "\" in a quoted text");
      }
      *out += escaped;
    } else {
      *out += c;
    }
  }
  return Fail("a quoted text has no closing '\"'");
}

bool Parser::CheckHexBytes(std::string_view bytes, bool* continued) {
  bytes = Trim(bytes);
  *continued = !bytes.empty() && bytes.back() == '\\';
  if (*continued) bytes = Trim(bytes.substr(0, bytes.size() - 1));
  // Bytes of two hex digits separated by ','; a trailing ',' is allowed
  // before a line break.
  while (!bytes.empty()) {
    if (bytes.size() < 2 || !IsHexDigit(bytes[0]) || !IsHexDigit(bytes[1])) {
      return Fail("hex data must be bytes of two hex digits separated by ','");
    }
    bytes = Trim(bytes.substr(2));
    if (bytes.empty()) break;
    if (bytes.front() != ',')
      return Fail("hex data must be bytes of two hex digits separated by ','");
    bytes = Trim(bytes.substr(1));
  }
  return true;
}

bool Parser::ParseHex(std::string_view data, std::string* raw) {
  std::string_view bytes = data.substr(3);  // after "hex"
  if (!bytes.empty() && bytes.front() == '(') {
    const std::size_t close = bytes.find(')');
    bool ok = close != std::string_view::npos && close >= 2 && close <= 9;
    for (std::size_t i = 1; ok && i < close; ++i) ok = IsHexDigit(bytes[i]);
    if (!ok) return Fail("a hex type must be \"hex(N)\" with N of one to eight hex digits");
    bytes.remove_prefix(close + 1);
  }
  if (bytes.empty() || bytes.front() != ':') return Fail("expected ':' after the hex type");
  bytes.remove_prefix(1);
  *raw = std::string(data);
  bool continued;
  if (!CheckHexBytes(bytes, &continued)) return false;
  std::string_view line;
  while (continued) {
    if (!NextLine(&line)) return Fail("hex data continues past the end of the file");
    if (!IsRegistryText(line)) return Fail("invalid UTF-8 or a control character");
    if (!CheckHexBytes(line, &continued)) return false;
    *raw += '\n';
    *raw += line;
  }
  return true;
}

bool Parser::ParseValue(std::string_view line) {
  if (m_section < 0) return Fail("a value before the first key");
  RegistryValue value;
  if (line.front() == '@') {
    line.remove_prefix(1);
  } else if (!ParseQuoted(&line, &value.name)) {
    return false;
  }
  line = Trim(line);
  if (line.empty() || line.front() != '=') return Fail("expected '=' after the value name");
  const std::string_view data = Trim(line.substr(1));
  if (!data.empty() && data.front() == '"') {
    std::string_view rest = data;
    if (!ParseQuoted(&rest, &value.data)) return false;
    if (!Trim(rest).empty()) return Fail("text after the end of the value");
    value.type = RegistryValueType::STRING;
  } else if (StartsWithNoCase(data, "dword:")) {
    const std::string_view digits = data.substr(6);
    bool ok = !digits.empty() && digits.size() <= 8;
    for (const char c : digits) ok = ok && IsHexDigit(c);
    if (!ok) return Fail("a dword must be one to eight hex digits");
    value.type = RegistryValueType::DWORD;
    value.dword = static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
  } else if (StartsWithNoCase(data, "hex")) {
    value.type = RegistryValueType::BINARY;
    if (!ParseHex(data, &value.data)) return false;
  } else if (data == "-") {
    return Fail("value deletions (\"=-\") belong in files to import, not in the registry");
  } else {
    return Fail("unknown value type (expected \"text\", dword: or hex)");
  }
  RegistrySection& section = m_document->sections[m_section];
  for (std::string& comment : m_comments) {
    RegistryEntry entry;
    entry.comment = std::move(comment);
    section.entries.push_back(std::move(entry));
  }
  m_comments.clear();
  // A value named twice: the later data wins, as an import would have it.
  m_document->SetValue(section.key, value);
  return true;
}

// Decodes UTF-16LE without its byte-order mark. False, with the line of the
// fault, for an odd length or a lone surrogate.
bool DecodeUtf16(std::string_view bytes, std::string* text, RegistryParseError* error) {
  const std::u16string units = LeBytesToUtf16(bytes);
  int line = 1;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c == u'\n') ++line;
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool low = c >= 0xDC00 && c <= 0xDFFF;
    if (low ||
        (high && (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF))) {
      error->line = line;
      error->message = "invalid UTF-16 (a lone surrogate)";
      return false;
    }
    if (high) ++i;
  }
  if (bytes.size() % 2 != 0) {
    error->line = line;
    error->message = "invalid UTF-16 (an odd number of bytes)";
    return false;
  }
  *text = Utf16ToUtf8(units);
  return true;
}

std::string Escape(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

bool ParseRegistryText(std::string_view bytes, RegistryDocument* document,
                       RegistryParseError* error) {
  *document = RegistryDocument();
  std::string decoded;
  std::string_view text = bytes;
  if (bytes.substr(0, UTF8_BOM.size()) == UTF8_BOM) {
    document->encoding = RegistryEncoding::UTF8_BOM;
    text.remove_prefix(UTF8_BOM.size());
  } else if (bytes.substr(0, UTF16LE_BOM.size()) == UTF16LE_BOM) {
    document->encoding = RegistryEncoding::UTF16LE;
    if (!DecodeUtf16(bytes.substr(UTF16LE_BOM.size()), &decoded, error)) return false;
    text = decoded;
  }
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return true;
  Parser parser(document);
  if (parser.Run(text)) return true;
  *error = parser.m_error;
  return false;
}

std::string FormatRegistryText(const RegistryDocument& document) {
  const std::string end = document.crlf ? "\r\n" : "\n";
  std::string out = std::string(REGISTRY_FILE_HEADER) + end + end;
  for (const RegistrySection& section : document.sections) {
    for (const std::string& comment : section.comments) out += comment + end;
    out += "[" + std::string(REGISTRY_ROOT_NAME);
    if (!section.key.empty()) out += "\\" + JoinRegistryPath(section.key);
    out += "]" + end;
    for (const RegistryEntry& entry : section.entries) {
      if (!entry.comment.empty()) {
        out += entry.comment + end;
        continue;
      }
      const RegistryValue& value = entry.value;
      out += value.name.empty() ? std::string("@") : Escape(value.name);
      out += '=';
      switch (value.type) {
        case RegistryValueType::STRING:
          out += Escape(value.data);
          break;
        case RegistryValueType::DWORD: {
          char digits[16];
          std::snprintf(digits, sizeof digits, "dword:%08x", value.dword);
          out += digits;
          break;
        }
        case RegistryValueType::BINARY:
          for (const char c : value.data) {
            if (c == '\n') {
              out += end;
            } else {
              out += c;
            }
          }
          break;
      }
      out += end;
    }
    out += end;
  }
  for (const std::string& comment : document.trailing_comments) out += comment + end;

  switch (document.encoding) {
    case RegistryEncoding::UTF8:
      return out;
    case RegistryEncoding::UTF8_BOM:
      return std::string(UTF8_BOM) + out;
    case RegistryEncoding::UTF16LE:
      return std::string(UTF16LE_BOM) + Utf16ToLeBytes(Utf8ToUtf16(out));
  }
  return out;
}

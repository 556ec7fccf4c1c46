// Build step: turns the catalogue's data file into the C++ source of the
// compiled-in table (text/message_table.h).
//
//   message_table_gen <messages.tsv> <output.cpp>
//
// Exits 0 after writing the output; on any fault prints "<file>:<line>: ..."
// (or a plain error for unreadable files) to standard error, exits 1 and leaves
// an existing output file untouched.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "text/message_catalogue_parser.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsPlain(unsigned value) {
  return value >= 0x20 && value < 0x7F && value != '"' && value != '\\' && value != '?';
}

// A narrow literal: plain ASCII as itself, every other byte as a three-digit
// octal escape (which never swallows a following character).
std::string Utf8Literal(const std::string& text) {
  std::string literal = "\"";
  for (char c : text) {
    const unsigned byte = static_cast<unsigned char>(c);
    if (IsPlain(byte)) {
      literal.push_back(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\%03o", byte);
      literal += escape;
    }
  }
  return literal + "\"";
}

// A UTF-16 literal: plain ASCII as itself, every other unit as \xHHHH; the
// literal is split after a hex escape that a hex digit follows.
std::string Utf16Literal(const std::u16string& units) {
  std::string literal = "u\"";
  bool afterHex = false;
  for (char16_t unit : units) {
    if (IsPlain(unit)) {
      const char c = static_cast<char>(unit);
      if (afterHex && IsHexDigit(c)) literal += "\" u\"";
      literal.push_back(c);
      afterHex = false;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%04X", static_cast<unsigned>(unit));
      literal += escape;
      afterHex = true;
    }
  }
  return literal + "\"";
}

std::string TableSource(std::vector<CatalogueEntry> entries) {
  std::sort(entries.begin(), entries.end(), [](const CatalogueEntry& a, const CatalogueEntry& b) {
    return std::pair(a.language, a.id) < std::pair(b.language, b.id);
  });
  std::ostringstream out;
  out << "// Generated from text/messages.tsv by message_table_gen; do not edit.\n"
         "#include \"text/message_table.h\"\n\n"
         "using namespace std::string_view_literals;\n\n"
         "namespace {\n\n"
         "constexpr MessageTableEntry MESSAGE_TABLE[] = {\n";
  for (const CatalogueEntry& entry : entries) {
    out << "    {" << entry.language << ", " << entry.id << ", " << Utf8Literal(entry.text)
        << "sv, " << Utf16Literal(entry.units) << "sv},\n";
  }
  out << "};\n\n"
         "}  // namespace\n\n"
         "std::span<const MessageTableEntry> MessageTableEntries() { return MESSAGE_TABLE; }\n";
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: message_table_gen <messages.tsv> <output.cpp>\n";
    return 1;
  }
  const std::string inputPath = argv[1];
  const std::string outputPath = argv[2];

  std::ifstream input(inputPath, std::ios::binary);
  if (!input) {
    std::cerr << inputPath << ": cannot open for reading\n";
    return 1;
  }
  const std::string content((std::istreambuf_iterator<char>(input)),
                            std::istreambuf_iterator<char>());
  if (input.bad()) {
    std::cerr << inputPath << ": read error\n";
    return 1;
  }

  std::vector<CatalogueEntry> entries;
  std::string error;
  if (!ParseMessageCatalogue(content, inputPath, entries, error)) {
    std::cerr << error << "\n";
    return 1;
  }
  if (entries.empty()) {
    std::cerr << inputPath << ": no entries\n";
    return 1;
  }

  // Written beside the output and renamed over it, so that a failed run never
  // leaves a half-written table behind.
  const std::string temporaryPath = outputPath + ".tmp";
  {
    std::ofstream output(temporaryPath, std::ios::binary | std::ios::trunc);
    output << TableSource(std::move(entries));
    output.close();
    if (!output) {
      std::cerr << temporaryPath << ": cannot write\n";
      std::remove(temporaryPath.c_str());
      return 1;
    }
  }
  if (std::rename(temporaryPath.c_str(), outputPath.c_str()) != 0) {
    std::cerr << outputPath << ": cannot replace with " << temporaryPath << "\n";
    std::remove(temporaryPath.c_str());
    return 1;
  }
  return 0;
}

// Reading the catalogue's data file (text/messages.tsv) into entries; the
// format is described in docs/formats/message-catalogue.md. The build's table
// generator uses this; the program itself only reads the compiled-in table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Longest text in UTF-16 units; with its terminator it fits a buffer of 256.
constexpr std::size_t CATALOGUE_MAX_TEXT_UNITS = 255;

// The languages a catalogue entry may name (Windows language ids).
constexpr std::uint16_t CATALOGUE_LANGUAGES[] = {9, 1031, 1036, 1049};
constexpr std::uint16_t CATALOGUE_ENGLISH = 9;

struct CatalogueEntry {
  std::uint16_t id = 0;
  std::uint16_t language = 0;
  std::string text;      // UTF-8, escapes resolved
  std::u16string units;  // the same text in UTF-16
  int line = 0;          // 1-based line of the entry in the file
};

// Parses the whole file `content`. On success fills `entries` in file order and
// returns true. On the first fault returns false, leaves `entries` unspecified
// and sets `error` to "<fileName>:<line>: <what is wrong>".
// Faults: a line that is not id TAB language TAB text; an id that is not a
// decimal number up to 65535; a language outside CATALOGUE_LANGUAGES; an empty
// text; a raw control character (tab, carriage return, ...) in a text; an
// unknown escape or a trailing backslash; malformed UTF-8; a text over
// CATALOGUE_MAX_TEXT_UNITS; a second entry for the same (id, language); an
// entry in another language for an id that has no English entry.
bool ParseMessageCatalogue(std::string_view content, std::string_view fileName,
                           std::vector<CatalogueEntry>& entries, std::string& error);

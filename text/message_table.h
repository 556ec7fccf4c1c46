// The compiled-in catalogue. The build generates its definition from
// text/messages.tsv (text/message_table_gen_main.cpp); the layout of that file
// is described in docs/formats/message-catalogue.md. Read it through
// text/messages.h.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

struct MessageTableEntry {
  std::uint16_t language;  // Windows language id, never 0
  std::uint16_t id;
  std::string_view utf8;      // the text, UTF-8, never empty
  std::u16string_view utf16;  // the same text, UTF-16, at most 255 units
};

// Every entry, sorted by (language, id), each pair once. The storage is static.
std::span<const MessageTableEntry> MessageTableEntries();

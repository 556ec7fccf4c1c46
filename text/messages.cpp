#include "text/messages.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <utility>

#include "text/message_catalogue_parser.h"
#include "text/message_table.h"

static_assert(MESSAGE_BUFFER_UNITS == CATALOGUE_MAX_TEXT_UNITS + 1,
              "every catalogue text must fit the message buffer with its terminator");

namespace {

std::atomic<std::uint16_t> g_messageLanguage{MESSAGE_LANGUAGE_USER};

std::string_view Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string_view(value) : std::string_view();
}

std::uint16_t CurrentCatalogueLanguage() {
  const std::uint16_t language = g_messageLanguage.load(std::memory_order_relaxed);
  if (language != MESSAGE_LANGUAGE_USER) return language;
  return UserMessageLanguage(Environment("LANGUAGE"), Environment("LC_ALL"),
                             Environment("LC_MESSAGES"), Environment("LANG"));
}

// The entry for (language, id), or null.
const MessageTableEntry* FindMessage(std::uint16_t language, int id) {
  if (id < 0 || id > 0xFFFF) return nullptr;
  const std::span<const MessageTableEntry> table = MessageTableEntries();
  const auto key = std::pair(language, static_cast<std::uint16_t>(id));
  const auto it = std::lower_bound(
      table.begin(), table.end(), key,
      [](const MessageTableEntry& e, const auto& k) { return std::pair(e.language, e.id) < k; });
  if (it == table.end() || it->language != language || it->id != key.second) return nullptr;
  return &*it;
}

bool IsLocaleSeparator(char c) { return c == '_' || c == '.' || c == '@' || c == '-'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::uint16_t LanguageOfLocale(std::string_view locale) {
  const std::size_t end =
      std::find_if(locale.begin(), locale.end(), IsLocaleSeparator) - locale.begin();
  std::string code(locale.substr(0, end));
  std::transform(code.begin(), code.end(), code.begin(), Lower);
  if (code == "de") return MESSAGE_LANGUAGE_GERMAN;
  if (code == "fr") return MESSAGE_LANGUAGE_FRENCH;
  if (code == "ru") return MESSAGE_LANGUAGE_RUSSIAN;
  return MESSAGE_LANGUAGE_ENGLISH;
}

// The first non-empty entry of a ':'-separated list, or empty.
std::string_view FirstListEntry(std::string_view list) {
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    const std::string_view entry = list.substr(0, colon);
    if (!entry.empty()) return entry;
    list.remove_prefix(colon == std::string_view::npos ? list.size() : colon + 1);
  }
  return {};
}

}  // namespace

std::string LoadMessage(int id) {
  const MessageTableEntry* entry = FindMessage(CurrentCatalogueLanguage(), id);
  return entry ? std::string(entry->utf8) : std::string();
}

char16_t* LoadMessageInto(int id, char16_t* buffer) {
  const MessageTableEntry* entry = FindMessage(CurrentCatalogueLanguage(), id);
  std::size_t units = 0;
  if (entry) {
    units = std::min(entry->utf16.size(), MESSAGE_BUFFER_UNITS - 1);
    std::copy_n(entry->utf16.data(), units, buffer);
  }
  buffer[units] = u'\0';
  return buffer;
}

void SetMessageLanguage(std::uint16_t language) {
  g_messageLanguage.store(language, std::memory_order_relaxed);
}

std::uint16_t GetMessageLanguage() { return g_messageLanguage.load(std::memory_order_relaxed); }

std::uint16_t UserMessageLanguage(std::string_view language, std::string_view lcAll,
                                  std::string_view lcMessages, std::string_view lang) {
  for (std::string_view value : {FirstListEntry(language), lcAll, lcMessages, lang}) {
    if (!value.empty()) return LanguageOfLocale(value);
  }
  return MESSAGE_LANGUAGE_ENGLISH;
}

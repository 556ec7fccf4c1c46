// The message catalogue: every user-visible text with an id, in English,
// German, French and Russian, looked up in the current message language.
//
// The texts come from text/messages.tsv, compiled in by the build. There is no
// fallback: an id that the current language lacks gives an empty text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/message_ids.h"

// Size of a buffer for LoadMessageInto: the longest text plus its terminator.
constexpr std::size_t MESSAGE_BUFFER_UNITS = 256;

// Message languages (Windows language ids). MESSAGE_LANGUAGE_USER means the
// user's language, taken from the environment at each lookup.
constexpr std::uint16_t MESSAGE_LANGUAGE_USER = 0;
constexpr std::uint16_t MESSAGE_LANGUAGE_ENGLISH = 9;
constexpr std::uint16_t MESSAGE_LANGUAGE_GERMAN = 1031;
constexpr std::uint16_t MESSAGE_LANGUAGE_FRENCH = 1036;
constexpr std::uint16_t MESSAGE_LANGUAGE_RUSSIAN = 1049;

// The text of `id` in the current language, UTF-8; empty when that language
// has no entry for it (or is not in the catalogue at all). Thread-safe.
std::string LoadMessage(int id);

// Copies LoadMessage(id) as UTF-16 with a terminator into `buffer`, which must
// hold at least MESSAGE_BUFFER_UNITS units; a text is cut to
// MESSAGE_BUFFER_UNITS - 1 units. An absent text leaves just the terminator.
// Returns `buffer`.
char16_t* LoadMessageInto(int id, char16_t* buffer);

// The process-wide message language; starts as MESSAGE_LANGUAGE_USER. A patch
// run sets it to MESSAGE_LANGUAGE_ENGLISH. Atomic; any thread may call these.
void SetMessageLanguage(std::uint16_t language);
std::uint16_t GetMessageLanguage();

// The catalogue language for the user's environment. The arguments are the
// values of LANGUAGE, LC_ALL, LC_MESSAGES and LANG, empty when unset. The first
// of them that is non-empty decides (of LANGUAGE, a ':'-separated priority
// list, its first non-empty entry); its language part (before '_', '.', '@'
// or '-', any case) "de" gives German, "fr" French, "ru" Russian. Anything
// else, "C" and "POSIX" included, and no value at all give English.
std::uint16_t UserMessageLanguage(std::string_view language, std::string_view lcAll,
                                  std::string_view lcMessages, std::string_view lang);

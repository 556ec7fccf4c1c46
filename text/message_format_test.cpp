#include "text/message_format.h"

#include <gtest/gtest.h>

#include "text/message_ids.h"
#include "text/messages.h"

TEST(FormatMessageText, FillsPlaceholdersInOrder) {
  const struct {
    const char* format;
    std::initializer_list<std::string_view> values;
    const char* expected;
  } cases[] = {
      {"Patching from %s to %s.", {"100", "101"}, "Patching from 100 to 101."},
      {"at least %dMB", {"4096"}, "at least 4096MB"},
      {"%lu kB of %lu kB", {"1", "2"}, "1 kB of 2 kB"},
      {"100%% of %s", {"x"}, "100% of x"},
      {"%s and %s", {"only"}, "only and %s"},  // a missing value leaves the placeholder
      {"%s", {"%s%d"}, "%s%d"},                // values are never interpreted
      {"trailing %", {}, "trailing %"},
      {"%x stays", {"v"}, "%x stays"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatMessageText(c.format, c.values), c.expected) << c.format;
  }
}

TEST(FormatMessageText, DiskSpaceMessageShowsNumberBeforeMb) {
  SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
  EXPECT_EQ(FormatMessageText(LoadMessage(MSG_INSUFFICIENT_DISK_SPACE), {"4096"}),
            "Insufficient disk space available for patching. Please ensure that at least 4096MB "
            "are available.");
}

#include "engine/windows_argument_quote.h"

#include <gtest/gtest.h>

#include "platform/windows_command_line.h"

namespace BramPatch {
namespace {

TEST(WindowsArgumentQuote, OrdinaryPathIsOnlyEnclosed) {
  EXPECT_EQ(QuoteWindowsArgument("/opt/Kestro/bin/x.dll.pbk"), "\"/opt/Kestro/bin/x.dll.pbk\"");
  EXPECT_EQ(QuoteWindowsArgument("C:\\Kestro\\bin\\a b.dll"), "\"C:\\Kestro\\bin\\a b.dll\"");
}

TEST(WindowsArgumentQuote, EveryArgumentSurvivesTheSplit) {
  const std::string cases[] = {
      "",
      "plain",
      "two words",
      "tab\there",
      "quote\"inside",
      "\"",
      "end\\",
      "end\\\\",
      "a\\\"b",
      "a\\\\\"b",
      "\\\\server\\share\\",
      "\"\" twice",
      "%s %d",
      "\xC3\xA9t\xC3\xA9",
  };
  for (const std::string& argument : cases) {
    const std::string line =
        "\"prog\" " + QuoteWindowsArgument(argument) + " " + QuoteWindowsArgument("next");
    const std::vector<std::string> expected = {"prog", argument, "next"};
    EXPECT_EQ(SplitWindowsCommandLine(line), expected) << line;
  }
}

}  // namespace
}  // namespace BramPatch

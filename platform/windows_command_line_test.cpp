#include "platform/windows_command_line.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
  const char* line;
  std::vector<std::string> args;
};

TEST(WindowsCommandLine, SplitsByTheWindowsRules) {
  const SplitCase cases[] = {
      {"", {}},
      {R"(prog)", {"prog"}},
      {R"("C:\Program Files\u.exe" repairdatabase patcher)",
       {R"(C:\Program Files\u.exe)", "repairdatabase", "patcher"}},
      {R"("/opt/k/bin/KestroUtil.exe" listbuilds "/opt/k/bin/buildList.txt")",
       {"/opt/k/bin/KestroUtil.exe", "listbuilds", "/opt/k/bin/buildList.txt"}},
      // The program name: quotes toggle, backslashes are plain, even before a quote.
      {R"("C:\dir\"x y)", {R"(C:\dir\x)", "y"}},
      {R"(a"b c"d e)", {"ab cd", "e"}},
      {R"( a)", {"", "a"}},
      {R"("")", {""}},
      // Blanks and tabs separate; runs of them count once.
      {"p \t a\tb  ", {"p", "a", "b"}},
      // Backslashes not before a quote are literal.
      {R"(p a\\b c\)", {"p", R"(a\\b)", R"(c\)"}},
      // 2n backslashes + quote: n backslashes, the quote toggles.
      {R"(p a\\"b c")", {"p", R"(a\b c)"}},
      {R"(p a\\\\"b")", {"p", R"(a\\b)"}},
      // 2n+1 backslashes + quote: n backslashes and a literal quote.
      {R"(p a\"b)", {"p", R"(a"b)"}},
      {R"(p a\\\"b)", {"p", R"(a\"b)"}},
      {R"(p "a\"b")", {"p", R"(a"b)"}},
      // Inside quotes "" is a literal quote, and quoting goes on.
      {R"(p "a""b c")", {"p", R"(a"b c)"}},
      {R"(p "a\\""b")", {"p", R"(a\"b)"}},
      // Empty arguments and quotes in the middle of a word.
      {R"(p "" x "")", {"p", "", "x", ""}},
      {R"(p "a b"c)", {"p", "a bc"}},
      {R"(p "unterminated  x)", {"p", "unterminated  x"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitWindowsCommandLine(c.line), c.args) << "command line: " << c.line;
  }
}

}  // namespace

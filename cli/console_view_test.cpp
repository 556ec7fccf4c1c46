#include "cli/console_view.h"

#include <gtest/gtest.h>

#include <cstdio>

// Each case names only the options that differ from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace BramPatch {
namespace {

// A stream whose contents the test reads back.
class CapturedStream {
 public:
  CapturedStream() : m_file(std::tmpfile()) {}
  ~CapturedStream() { std::fclose(m_file); }
  std::FILE* get() { return m_file; }
  std::string Text() {
    std::fflush(m_file);
    std::rewind(m_file);
    std::string text;
    for (int c; (c = std::fgetc(m_file)) != EOF;) text += static_cast<char>(c);
    return text;
  }

 private:
  std::FILE* m_file;
};

TEST(ConsoleView, KindsColourTheLinesOnATerminal) {
  CapturedStream out, err, in;
  ConsoleView view({.colour = true}, out.get(), err.get(), in.get());
  view.AppendText(0, "a");
  view.AppendText(2, "b");
  view.AppendText(7, "c");  // an unknown kind keeps the colour before it
  view.AppendText(1, "d");
  EXPECT_EQ(out.Text(), "\033[0ma\033[0m\n\033[31mb\033[0m\n\033[31mc\033[0m\n\033[90md\033[0m\n");
}

TEST(ConsoleView, PlainTextWithoutATerminal) {
  CapturedStream out, err, in;
  ConsoleView view({}, out.get(), err.get(), in.get());
  view.AppendText(2, "Patching aborted.");
  view.AppendText(0, "");
  view.SetGaugeRange(10);  // no progress bar without a terminal
  view.SetGaugeValue(5);
  EXPECT_EQ(out.Text(), "Patching aborted.\n\n");
  EXPECT_EQ(err.Text(), "");
}

TEST(ConsoleView, DownloadFiguresBesideTheBarOnATerminal) {
  CapturedStream out, err, in;
  ConsoleView view({.progressBar = true}, out.get(), err.get(), in.get());
  view.ShowDownloadProgress(50, "Download Progress 512 kB of 1024 kB, 1 min remaining");
  EXPECT_EQ(err.Text(), "\r[" + std::string(20, '#') + std::string(20, ' ') +
                            "]  50% Download Progress 512 kB of 1024 kB, 1 min remaining");
}

TEST(ConsoleView, NobodyToAnswerGivesOkAndNo) {
  CapturedStream out, err, in;
  ConsoleView view({}, out.get(), err.get(), in.get());
  EXPECT_EQ(view.ShowMessageBox("Unable to patch", "Files In Use", MESSAGEBOX_OK),
            MESSAGEBOX_ANSWER_OK);
  EXPECT_EQ(view.ShowMessageBox("Really?", "Omvel Patcher", MESSAGEBOX_YES_NO),
            MESSAGEBOX_ANSWER_NO);
  EXPECT_EQ(view.AskForProductExecutable(), std::nullopt);
  EXPECT_EQ(err.Text(), "Files In Use: Unable to patch\nOmvel Patcher: Really?\n");
}

TEST(ConsoleView, AnswersFromTheTerminal) {
  CapturedStream out, err, in;
  std::fputs("y\n/games/K/bin/Kestro.exe\n", in.get());
  std::rewind(in.get());
  ConsoleView view({.interactive = true}, out.get(), err.get(), in.get());
  EXPECT_TRUE(view.AskYesNo("Apply the update now?"));
  EXPECT_EQ(view.AskForProductExecutable(), "/games/K/bin/Kestro.exe");
}

TEST(ConsoleView, CancelIsConfirmedThenStays) {
  CapturedStream out, err, in;
  std::fputs("n\ny\n", in.get());
  std::rewind(in.get());
  ConsoleView view({.interactive = true}, out.get(), err.get(), in.get());
  view.RequestCancel(true);
  EXPECT_FALSE(view.IsCancelRequested());
  view.PatchInstalled();
  view.RequestCancel(true);  // now with the warning about installed patches
  EXPECT_TRUE(view.IsCancelRequested());
  EXPECT_NE(err.Text().find("Do you really want to cancel?"), std::string::npos);
  EXPECT_NE(err.Text().find("Warning: One or more patches have been successfully installed"),
            std::string::npos);
  EXPECT_EQ(out.Text(), "Cancelling patch process...\n");
}

}  // namespace
}  // namespace BramPatch

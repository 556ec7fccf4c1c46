#include <gtest/gtest.h>

#include "run/install_locator.h"
#include "run/run_test_support.h"

namespace BramPatch {
namespace {

TEST(DeriveInstallRoot, DirectoryOfTheExecutableAndBinRule) {
  const struct {
    const char* chosen;
    const char* root;
  } cases[] = {
      {"/games/K/Kestro.exe", "/games/K/"},
      {"/games/K/bin/Kestro.exe", "/games/K/"},
      {"/games/K/Bin/Kestro.exe", "/games/K/Bin/"},  // the rule is case-sensitive
      {"D:\\Games\\K\\Kestro.exe", "D:\\Games\\K\\"},
      {"D:\\Games\\K\\bin\\Kestro.exe", "D:\\Games\\K\\"},
      {"D:\\Games\\K\\Bin\\Kestro.exe", "D:\\Games\\K\\Bin\\"},
      {"/games/K/cabin/Kestro.exe", "/games/K/cabin/"},  // "bin" is a whole component
      {"Kestro.exe", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DeriveInstallRoot(c.chosen), c.root) << c.chosen;
}

TEST(BrowseInstallPath, CancelGivesNothing) {
  RecordingView view;
  EXPECT_EQ(BrowseInstallPath(view), std::nullopt);
  view.executableAnswer = "/games/K/bin/Kestro.exe";
  EXPECT_EQ(BrowseInstallPath(view), "/games/K/");
  EXPECT_EQ(view.executableQuestions, 2);
}

}  // namespace
}  // namespace BramPatch

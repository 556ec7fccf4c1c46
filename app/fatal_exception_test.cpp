// The toolkit's fatal-exception hook of the application.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "foundation/child_process.h"
#include "foundation/paths_test_support.h"
#include "ui/xvfb_test_support.h"

namespace BramPatch {
namespace {

TEST(OnFatalException, WritesTheStartupDumpShowsTheBoxAndEndsWithMinusOne) {
  ScopedTempDir directory;
  DrainedChild child("/bin/sh", "-c \"cd '" + directory.path() + "' && exec '" +
                                    std::string(OMVEL_TESTCHILD_DIR) +
                                    "/fatal_exception_testchild'\"");
  EXPECT_EQ(child.Wait(), 255);
  child.MarkEnded();
  EXPECT_NE(child.Output().find("Fatal Error: Unhandled Exception"), std::string::npos)
      << child.Output();
  std::vector<std::string> dumps;
  for (const auto& entry : std::filesystem::directory_iterator(directory.path())) {
    dumps.push_back(entry.path().filename().string());
  }
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_TRUE(std::regex_match(
      dumps[0],
      std::regex(
          R"(patcher-v35673-[0-9]{4}\.[0-9]{2}\.[0-9]{2}-[0-9]{2}\.[0-9]{2}\.[0-9]{2}\.dmp)")))
      << dumps[0];
}

}  // namespace
}  // namespace BramPatch

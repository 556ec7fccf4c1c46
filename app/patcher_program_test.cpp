// omvel-patcher as a user runs it, on an X server of the test's own: the
// elevated relaunch when the installation cannot be written, the on-exit
// program, closing the window before any run. Input comes through xdotool.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_test_support.h"
#include "app/elevated_relaunch.h"
#include "foundation/paths.h"
#include "run/run_test_support.h"
#include "text/message_ids.h"
#include "text/messages.h"
#include "ui/xvfb_test_support.h"

namespace BramPatch {
namespace {

// Runs xdotool with `arguments` to its end; true when it succeeded.
bool Xdotool(const std::string& arguments) {
  DrainedChild xdotool("xdotool", arguments);
  const int code = xdotool.Wait();
  xdotool.MarkEnded();
  EXPECT_EQ(code, 0) << "xdotool " << arguments << ":\n" << xdotool.Output();
  return code == 0;
}

class PatcherProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_server.Display().empty());
    SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
    std::filesystem::create_directories(m_install + "/bin");
    std::filesystem::create_directories(m_dir.Sub("temp"));
    WriteTestRegistry(m_registry, UnservedPageBase(), m_install);
    WriteScript(m_onExit, ": > \"" + m_mark + "\"\n");
    // The patcher works in its own folder (dumps land there): a copy of ours.
    std::filesystem::copy_file(std::string(OMVEL_BIN_DIR) + "/omvel-patcher", m_patcher);
  }

  void TearDown() override {
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
      EXPECT_NE(entry.path().extension(), ".dmp") << "a crash dump: " << entry.path();
    }
  }

  // Starts the patcher with `arguments`; the test's environment is its own.
  std::unique_ptr<DrainedChild> Start(const std::string& arguments) {
    auto patcher = std::make_unique<DrainedChild>(m_patcher, arguments);
    EXPECT_TRUE(patcher->Started());
    return patcher;
  }

  // The product is running: its executable cannot be opened for writing.
  std::unique_ptr<DrainedChild> RunProduct() {
    const std::string product = m_install + "/bin/Kestro.exe";
    std::filesystem::copy_file("/bin/sleep", product);
    return std::make_unique<DrainedChild>(product, "600");
  }

  XvfbServer m_server;
  ScopedTempDir m_dir;
  const std::string m_patcher = m_dir.Sub("omvel-patcher");
  const std::string m_install = m_dir.Sub("Kestro");
  const std::string m_registry = m_dir.Sub("registry.reg");
  const std::string m_stub = m_dir.Sub("elevate");
  const std::string m_record = m_dir.Sub("arguments");
  const std::string m_onExit = m_dir.Sub("on-exit");
  const std::string m_mark = m_dir.Sub("on-exit-ran");
  ScopedEnvironment m_display{"DISPLAY", m_server.Display()};
  ScopedEnvironment m_registryVariable{"OMVEL_REGISTRY", m_registry};
  ScopedEnvironment m_temp{"TEMP", m_dir.Sub("temp")};
  ScopedEnvironment m_elevate{ELEVATE_VARIABLE, "\"" + m_stub + "\""};
  ScopedEnvironment m_language{"LANGUAGE", ""};
  ScopedEnvironment m_locale{"LC_ALL", "C"};
};

TEST_F(PatcherProgramTest, WithoutWriteAccessTheElevatedCopyTakesOver) {
  auto product = RunProduct();
  WriteElevationStub(m_stub, m_record, 0);
  WriteTextFile(m_dir.Sub("servers.txt"), "a\nb\n");
  auto patcher = Start("-r -l \"" + m_dir.Sub("servers.txt") +
                       "\" -f 101 -o /nonexistent/launcher 100 \"" + m_install + "\"");
  EXPECT_EQ(patcher->Wait(), 255);  // start-up ended without a window
  EXPECT_EQ(RecordedLines(m_record),
            (std::vector<std::string>{m_patcher, "--admin", "--repair", "--server=a;b",
                                      "--final=101", "100", m_install}));
  const std::string output = patcher->Output();
  EXPECT_NE(
      output.find("parm: --admin --repair --server=\"a;b\" --final=101 100 \"" + m_install + "\""),
      std::string::npos)
      << output;
  // The on-exit program could not start: one line on standard error.
  EXPECT_NE(output.find(LoadMessage(MSG_ERROR_CREATING_PROCESS) + "2\n"), std::string::npos)
      << output;
}

TEST_F(PatcherProgramTest, RefusedElevationIsReportedAndTheOnExitProgramStillRuns) {
  auto product = RunProduct();
  WriteElevationStub(m_stub, m_record, ELEVATION_REFUSED);
  auto patcher = Start("-o \"" + m_onExit + "\" 100 \"" + m_install + "\"");
  // The box 132 / 134, answered by the user.
  ASSERT_TRUE(Xdotool("search --sync --onlyvisible --name \"^" +
                      LoadMessage(MSG_REQUIRES_ADMIN_PRIVILEGES) +
                      "$\" windowfocus --sync %1 key Return"));
  EXPECT_EQ(patcher->Wait(), 255);
  EXPECT_TRUE(FileExists(m_mark));
}

TEST_F(PatcherProgramTest, ClosingTheWindowBeforeAnyRunEndsTheProgram) {
  // Nothing to do: no package, no mode; the window waits.
  auto patcher = Start("-o \"" + m_onExit + "\"");
  // "Cancel" in the window's middle bottom: (235 + 60, 495 + 14).
  ASSERT_TRUE(Xdotool(
      "search --sync --onlyvisible --name \"^Omvel Patcher $\" mousemove --sync --window %1 295 "
      "509 click 1"));
  EXPECT_EQ(patcher->Wait(), 0) << patcher->Output();
  EXPECT_TRUE(FileExists(m_mark));
  EXPECT_FALSE(FileExists(m_record));  // writable: no relaunch
}

}  // namespace
}  // namespace BramPatch

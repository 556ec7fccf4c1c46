#include "run/patch_run.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/patch_options.h"
#include "run/run_test_support.h"
#include "text/messages.h"

// Each case names only the fields that differ from a healthy system.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace BramPatch {
namespace {

constexpr std::uint64_t MB = 1048576;

class FakeChecks : public RunChecks {
 public:
  bool CheckWriteAccess(const std::string&) override { return writable; }
  bool CheckFilesInUse(const std::string&) override { return exclusive; }
  bool writable = true;
  bool exclusive = true;
};

const std::string INSTALL = "/games/kestro";
const std::string TEMP = "/fast-temp";

struct Outcome {
  bool completed;
  std::vector<std::string> texts;
  std::string tempDirectory;  // what the mode routine was given
  std::string modeRun;        // "repair", "local", "download" or ""
};

struct RunSetup {
  const char* name;
  std::optional<OS::WindowsVersion> version;
  bool directX = true;
  bool writable = true;
  bool exclusive = true;
  const char* mode = "local";  // "repair", "local", "download", "none"
  std::uint64_t installFree = 10000 * MB;
  std::uint64_t tempFree = 10000 * MB;
  bool installKnown = true;
  bool tempKnown = true;
  bool modeResult = true;
};

class PatchRunTest : public testing::Test {
 protected:
  void SetUp() override { SetMessageLanguage(MESSAGE_LANGUAGE_USER); }

  Outcome Run(const RunSetup& s) {
    FakeSystemInfo system;
    system.version = s.version;
    system.hasDirectX = s.directX;
    if (s.installKnown) system.freeSpace[INSTALL] = s.installFree;
    if (s.tempKnown) system.freeSpace[TEMP] = s.tempFree;
    FakeChecks checks;
    checks.writable = s.writable;
    checks.exclusive = s.exclusive;
    PatchOptions options;
    options.SetInstallPath(INSTALL);
    std::string mode = s.mode;
    if (mode == "repair") options.SetRepair(true);
    if (mode == "local") options.SetLocal(true);
    if (mode == "download") options.SetDownload(true);

    Outcome outcome;
    auto routine = [&](const char* name) {
      return [&, name](const std::string& temp) {
        outcome.modeRun = name;
        outcome.tempDirectory = temp;
        return s.modeResult;
      };
    };
    ModeRoutines modes{routine("repair"), routine("local"), routine("download")};
    outcome.completed = ExecutePatchRun(options, system, checks, modes);
    outcome.texts = view.Texts();
    return outcome;
  }

  ScopedEnvironment tempVariable{"TEMP", TEMP};
  RecordingView view;
};

const std::string CHECKING = "Checking for available disk space for patching.";
const std::string COMPLETED = "Patching completed.";
const std::string ABORTED = "Patching aborted.";

TEST_F(PatchRunTest, GatesInOrder) {
  const std::string xp =
      "This patch installer requires at least Service Pack 3 for Windows XP. \nThe patch can be "
      "retried once the Service Pack is installed.";
  const std::string directX =
      "This version of Kestro requires the August 2009 release of DirectX9. \nThe patch can be "
      "retried once DirectX is updated.";
  const std::string diskFull =
      "Insufficient disk space available for patching. Please ensure that at least 4096MB are "
      "available.";
  const std::string unknown =
      "Patch installer is unable to determine whether sufficient disk space is available for "
      "this installation. Patching may fail if insufficient disk space is available.";
  const struct {
    RunSetup setup;
    std::vector<std::string> texts;
    const char* modeRun;
  } cases[] = {
      {{"no windows version (Linux)"}, {CHECKING, COMPLETED}, "local"},
      {{"xp sp2", OS::WindowsVersion{5, 1, 2}}, {xp, ABORTED}, ""},
      {{"xp sp3", OS::WindowsVersion{5, 1, 3}}, {CHECKING, COMPLETED}, "local"},
      {{"windows 2000", OS::WindowsVersion{5, 0, 0}}, {CHECKING, COMPLETED}, "local"},
      {{"vista", OS::WindowsVersion{6, 0, 0}}, {CHECKING, COMPLETED}, "local"},
      {{.name = "no directx", .directX = false}, {directX, ABORTED}, ""},
      {{.name = "no directx in repair", .directX = false, .mode = "repair"},
       {directX, ABORTED},
       ""},
      {{.name = "repair skips the disk", .mode = "repair", .installFree = 1},
       {COMPLETED},
       "repair"},
      {{.name = "nothing selected", .mode = "none"}, {CHECKING, ABORTED}, ""},
      {{.name = "download", .mode = "download"}, {CHECKING, COMPLETED}, "download"},
      {{.name = "mode aborts", .modeResult = false}, {CHECKING, ABORTED}, "local"},
      {{.name = "exactly 4096 MB", .installFree = 4096 * MB}, {CHECKING, COMPLETED}, "local"},
      {{.name = "one byte less", .installFree = 4096 * MB - 1}, {CHECKING, diskFull, ABORTED}, ""},
      {{.name = "install unknown", .installKnown = false}, {CHECKING, unknown, COMPLETED}, "local"},
      {{.name = "temp unknown", .tempKnown = false}, {CHECKING, unknown, COMPLETED}, "local"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setup.name);
    view.texts.clear();
    Outcome outcome = Run(c.setup);
    EXPECT_EQ(outcome.texts, c.texts);
    EXPECT_EQ(outcome.modeRun, c.modeRun);
    EXPECT_EQ(outcome.completed, c.texts.back() == COMPLETED);
    EXPECT_TRUE(view.boxes.empty());
  }
}

TEST_F(PatchRunTest, KindsOfGateTexts) {
  Run({.name = "xp", .version = OS::WindowsVersion{5, 1, 0}});
  ASSERT_EQ(view.texts.size(), 2u);
  EXPECT_EQ(view.texts[0].first, 2);
  EXPECT_EQ(view.texts[1].first, 0);
}

TEST_F(PatchRunTest, WriteAccessFailureShowsPrivilegeBox) {
  SetMessageLanguage(MESSAGE_LANGUAGE_GERMAN);  // the run switches to English
  Outcome outcome = Run({.name = "read-only", .writable = false});
  EXPECT_EQ(outcome.texts,
            (std::vector<std::string>{"Patching requires Administrator privileges.", ABORTED}));
  EXPECT_EQ(view.texts[0].first, 2);
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].caption, "Requires Administrator Privileges");
  EXPECT_TRUE(view.boxes[0].text.starts_with("Either the current Windows user account"));
  EXPECT_EQ(view.boxes[0].style, MESSAGEBOX_OK);
}

TEST_F(PatchRunTest, FilesInUseReenablesApplyUpdate) {
  Outcome outcome = Run({.name = "held", .exclusive = false});
  EXPECT_EQ(outcome.texts, (std::vector<std::string>{"Unable to patch - files in use.", ABORTED}));
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].caption, "Files In Use");
  EXPECT_TRUE(view.boxes[0].text.starts_with("One or more Kestro-related executables"));
  EXPECT_EQ(view.applyUpdateEnabled, true);
}

TEST_F(PatchRunTest, TemporaryDirectoryMovesToInstallationWhenTempIsFull) {
  Outcome small = Run({.name = "temp 1 GB", .tempFree = 1024 * MB});
  EXPECT_EQ(small.tempDirectory, INSTALL);
  EXPECT_EQ(small.modeRun, "local");
  Outcome roomy = Run({.name = "temp roomy"});
  EXPECT_EQ(roomy.tempDirectory, TEMP);
}

}  // namespace
}  // namespace BramPatch

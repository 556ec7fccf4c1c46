// The file patch engine over real installations, real deltas and the
// product's real diff tools.
#include "engine/patch_engine.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "engine/patch_commands.h"
#include "engine/patch_file_system.h"
#include "engine/patch_test_support.h"
#include "text/fixed_texts.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

const std::string OLD_A = RandomBytes(40000, 11);
const std::string NEW_A = OLD_A.substr(0, 20000) + "changed in the middle" + OLD_A.substr(20000);
const std::string OLD_B = TextBytes(30000, 12);
const std::string NEW_B = TextBytes(31000, 13);

class PatchEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallProductTools(Install(), false); }

  std::string Install() const { return m_dir.Sub("install"); }
  std::string InstallPath(const std::string& relative) const {
    return Install() + "/" + TreeKey(relative);
  }
  std::string PatchPath(const std::string& name) const { return m_dir.Sub("patch") + "/" + name; }

  void Seed(const Tree& files) { WriteTree(Install(), files); }
  Tree All() const { return ReadTree(Install()); }
  Tree Files() const { return FilesOf(All()); }

  bool Apply() { return ApplyPatchDirectory(Install(), m_patch.dir(), PATCH_LAST_FILE_NAME); }
  bool Apply(PatchFileSystem& file_system) {
    return ApplyPatchDirectory(Install(), m_patch.dir(), PATCH_LAST_FILE_NAME, file_system);
  }

  ScopedTempDir m_dir;
  PatchDirectoryBuilder m_patch{m_dir.Sub("patch")};
  HookRecorder m_hooks;
};

TEST_F(PatchEngineTest, MissingManifestFailsBeforeAnyChange) {
  Seed({{"a.dll", OLD_A}, {"gone.txt", "x"}});
  m_patch.Add("new.txt", "new");
  m_patch.Delete("gone.txt");
  m_patch.Patch("a.dll", OLD_A, NEW_A);
  m_patch.Write();
  const Tree before = All();
  for (const char* name : {MANIFEST_ADDED, MANIFEST_DELETED, MANIFEST_PATCHED}) {
    const std::string saved = ReadTextFile(PatchPath(name));
    ASSERT_TRUE(DeletePath(PatchPath(name)));
    m_hooks.m_texts.clear();
    EXPECT_FALSE(Apply()) << name;
    EXPECT_EQ(m_hooks.m_texts,
              (std::vector<PostedText>{
                  {TEXT_KIND_ERROR, "Could not open: " + PatchPath(name) +
                                        " for reading. The file might not be present"}}));
    EXPECT_EQ(All(), before) << name;
    WriteTextFile(PatchPath(name), saved);
  }
}

TEST_F(PatchEngineTest, BrokenManifestFailsBeforeAnyChangeNamingItsLine) {
  Seed({{"a.dll", OLD_A}, {"gone.txt", "x"}});
  struct Case {
    const char* manifest;
    std::string text;
    std::string line;
  };
  const Case cases[] = {
      {MANIFEST_ADDED, "a.txt\r\nmd5\r\n", "line 2"},
      {MANIFEST_DELETED, "gone.txt\r\n\r\n\r\n..\\outside.txt\r\n\r\n\r\n", "line 4"},
      {MANIFEST_DELETED, "/etc/hostname\r\n\r\n\r\n", "line 1"},
      {MANIFEST_PATCHED, "C:\\Windows\\x.dll\r\n1\r\n2\r\n", "line 1"},
      {MANIFEST_ADDED, "gone.txt\r\nmd5\r\n\r\nsub\\..\\..\\x.txt\r\nmd5\r\n\r\n", "line 4"},
  };
  for (const Case& c : cases) {
    m_patch.Write();  // three empty manifests
    WriteTextFile(PatchPath(c.manifest), c.text);
    const Tree before = All();
    m_hooks.m_texts.clear();
    EXPECT_FALSE(Apply()) << c.text;
    ASSERT_EQ(m_hooks.m_texts.size(), 1u) << c.text;
    EXPECT_EQ(m_hooks.m_texts[0].m_kind, TEXT_KIND_ERROR);
    const std::string& text = m_hooks.m_texts[0].m_text;
    EXPECT_NE(text.find(PatchPath(c.manifest)), std::string::npos) << text;
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
    EXPECT_EQ(All(), before) << c.text;
    EXPECT_FALSE(FileExists(m_dir.Sub("outside.txt")));
  }
}

TEST_F(PatchEngineTest, SuccessAppliesEverythingDropsBackupsAndUpdatesTheLog) {
  Seed({{"a.dll", OLD_A},
        {"sub/b.txt", OLD_B},
        {"gone.txt", "old"},
        {"replaced.txt", "the user's own"},
        {UNINSTALL_LOG_NAME, BuildUninstallLog()}});
  m_patch.Add("new\\deep\\added.dat", "added");
  m_patch.Add("replaced.txt", "replacement");
  m_patch.Delete("gone.txt");
  m_patch.Patch("a.dll", OLD_A, NEW_A);
  m_patch.Patch("sub\\b.txt", OLD_B, NEW_B);
  m_patch.Write();
  Tree expected = Files();
  expected.erase("gone.txt");
  expected["new/deep/added.dat"] = "added";
  expected["replaced.txt"] = "replacement";
  expected["a.dll"] = NEW_A;
  expected["sub/b.txt"] = NEW_B;
  const std::string old_log = expected[UNINSTALL_LOG_NAME];

  ASSERT_TRUE(Apply()) << ::testing::PrintToString(m_hooks.m_texts);
  EXPECT_TRUE(m_hooks.m_texts.empty()) << ::testing::PrintToString(m_hooks.m_texts);
  EXPECT_EQ(m_hooks.m_ranges, (std::vector<std::uint64_t>{5}));
  Tree files = Files();
  EXPECT_TRUE(BackupsIn(files).empty());
  EXPECT_EQ(LoadLe32(files[UNINSTALL_LOG_NAME].data() + UNINSTALL_LOG_HEADER_RECORDS),
            LoadLe32(old_log.data() + UNINSTALL_LOG_HEADER_RECORDS) + 2);
  EXPECT_NE(files[UNINSTALL_LOG_NAME].find(InstallPath("new/deep/added.dat")), std::string::npos);
  files.erase(UNINSTALL_LOG_NAME);
  expected.erase(UNINSTALL_LOG_NAME);
  EXPECT_EQ(files, expected);
}

TEST_F(PatchEngineTest, PatchedAlreadyIsReportedAndLeftUntouched) {
  Seed({{"a.dll", NEW_A}, {"sub/b.txt", OLD_B}});
  m_patch.Patch("a.dll", OLD_A, NEW_A);
  m_patch.Patch("sub\\b.txt", OLD_B, NEW_B);
  m_patch.Write();
  struct stat before {};
  ASSERT_EQ(stat(InstallPath("a.dll").c_str(), &before), 0);

  ASSERT_TRUE(Apply());
  EXPECT_EQ(m_hooks.m_texts,
            (std::vector<PostedText>{
                {TEXT_KIND_SECONDARY, FIXED_ALREADY_PATCHED + InstallPath("a.dll")}}));
  struct stat after {};
  ASSERT_EQ(stat(InstallPath("a.dll").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // not even moved aside and back
  EXPECT_EQ(Files()["a.dll"], NEW_A);
  EXPECT_EQ(Files()["sub/b.txt"], NEW_B);
}

TEST_F(PatchEngineTest, DamagedFileStopsThePatchAndRestoresEarlierAddsAndDeletes) {
  Seed({{"a.dll", OLD_A},
        {"damaged.dll", "neither old nor new"},
        {"gone.txt", "old"},
        {"replaced.txt", "the user's own"},
        {UNINSTALL_LOG_NAME, BuildUninstallLog()}});
  m_patch.Add("new\\deep\\added.dat", "added");
  m_patch.Add("replaced.txt", "replacement");
  m_patch.Delete("gone.txt");
  m_patch.Patch("a.dll", OLD_A, NEW_A);
  m_patch.Patch("damaged.dll", OLD_B, NEW_B);
  m_patch.Write();
  const Tree before = All();

  EXPECT_FALSE(Apply());
  EXPECT_EQ(m_hooks.Of(TEXT_KIND_ERROR),
            (std::vector<std::string>{FIXED_EXISTING_FILE_DAMAGED + InstallPath("damaged.dll")}));
  EXPECT_EQ(All(), before);  // created folders are gone again, the log untouched
}

TEST_F(PatchEngineTest, ToolFailureOnTheSecondEntryRestoresBothTargets) {
  Seed({{"first.dll", OLD_A}, {"second.dll", OLD_B}});
  m_patch.Patch("first.dll", OLD_A, NEW_A);
  m_patch.PatchRaw({"second.dll", Md5OfBytes(NEW_B), Md5OfBytes(OLD_B)}, DiffDataName("second.dll"),
                   "this is no delta");
  m_patch.Write();
  const Tree before = All();

  EXPECT_FALSE(Apply());
  EXPECT_EQ(m_hooks.Of(TEXT_KIND_ERROR),
            (std::vector<std::string>{"Could not open patch file second.dll for reading."}));
  EXPECT_EQ(All(), before);
}

TEST_F(PatchEngineTest, AlreadyRemovedFileIsReportedAndThePatchGoesOn) {
  Seed({{"present.txt", "x"}, {"gone.pbk.keep", "unrelated"}});
  m_patch.Delete("missing.txt");
  m_patch.Delete("present.txt");
  m_patch.Write();
  ASSERT_TRUE(Apply());
  EXPECT_EQ(m_hooks.m_texts,
            (std::vector<PostedText>{
                {TEXT_KIND_SECONDARY, FIXED_FILE_ALREADY_REMOVED + InstallPath("missing.txt")}}));
  Tree files = Files();
  EXPECT_EQ(files.count("present.txt"), 0u);
  EXPECT_TRUE(BackupsIn(files).empty());
  EXPECT_EQ(files["gone.pbk.keep"], "unrelated");
}

TEST_F(PatchEngineTest, ArchiveToolIsUsedOnlyWhenInstalled) {
  // The archive diff and the ordinary diff lead to different results, so
  // the result shows which one was applied.
  const std::string by_archive_tool = NEW_B + " (archive)";
  struct Case {
    bool archive_tool;
    bool source_checksum_right;
    bool ok;
    std::string result;
  };
  const Case cases[] = {
      {true, false, true, by_archive_tool},  // the archive tool makes its own checks
      {false, true, true, NEW_B},
      {false, false, false, OLD_B},  // an ordinary file: the checksums decide
  };
  for (const Case& c : cases) {
    ScopedTempDir dir;
    const std::string install = dir.Sub("install");
    InstallProductTools(install, c.archive_tool);
    WriteTree(install, {{"data/Base.ja", OLD_B}});
    PatchDirectoryBuilder patch(dir.Sub("patch"));
    WriteTextFile(dir.Sub("old"), OLD_B);
    WriteTextFile(dir.Sub("new"), NEW_B);
    WriteTextFile(dir.Sub("archive"), by_archive_tool);
    const std::string relative = "data\\Base.ja";
    ASSERT_TRUE(MakeDirectory(dir.Sub("patch/data/data")));
    MakeDelta(dir.Sub("old"), dir.Sub("new"), dir.Sub("patch/data/data/Base.ja.diff"));
    MakeDelta(dir.Sub("old"), dir.Sub("archive"), dir.Sub("patch/data/data/Base-diff.ja"),
              "omvel-pak/" + Md5OfBytes(OLD_B) + "/" + Md5OfBytes(by_archive_tool));
    patch.PatchRaw({relative, Md5OfBytes(NEW_B),
                    c.source_checksum_right ? Md5OfBytes(OLD_B) : std::string(32, '0')},
                   DiffDataName(relative), ReadTextFile(dir.Sub("patch/data/data/Base.ja.diff")));
    patch.Write();

    m_hooks.m_texts.clear();
    EXPECT_EQ(ApplyPatchDirectory(install, patch.dir(), PATCH_LAST_FILE_NAME), c.ok)
        << ::testing::PrintToString(m_hooks.m_texts);
    EXPECT_EQ(ReadTextFile(install + "/data/Base.ja"), c.result) << c.archive_tool;
    EXPECT_FALSE(FileExists(install + "/data/Base.ja.pbk"));
  }
}

TEST_F(PatchEngineTest, UninstallLogFailureRollsEverythingBack) {
  Seed({{"a.dll", OLD_A}, {UNINSTALL_LOG_NAME, BuildUninstallLog()}});
  ASSERT_TRUE(MakeDirectory(InstallPath(UNINSTALL_LOG_TEMP_NAME)));  // cannot be created
  m_patch.Add("added.txt", "added");
  m_patch.Patch("a.dll", OLD_A, NEW_A);
  m_patch.Write();
  const Tree before = All();
  EXPECT_FALSE(Apply());
  EXPECT_EQ(All(), before);
}

// Records every tool run, then lets it happen.
class ToolRecorder : public PatchFileSystemWrapper {
 public:
  ToolRecorder() : PatchFileSystemWrapper(RealPatchFileSystem()) {}
  struct Run {
    std::string m_directory, m_executable, m_arguments;
  };
  PatchToolResult RunTool(const std::string& directory, const std::string& executable,
                          const std::string& arguments, std::uint64_t time_limit_ms) override {
    m_runs.push_back({directory, executable, arguments});
    if (m_timeOut) return {PatchToolResult::TIMED_OUT, -1, ""};
    return PatchFileSystemWrapper::RunTool(directory, executable, arguments, time_limit_ms);
  }
  std::vector<Run> m_runs;
  bool m_timeOut = false;
};

TEST_F(PatchEngineTest, LauncherGoesLastAndToolsRunInTheBinFolder) {
  const char* names[] = {"a.dll", "bin\\BramLauncher.exe", "c.dll", "d.dll"};
  for (int i = 0; i < 4; ++i) {
    Seed({{TreeKey(names[i]), TextBytes(5000, i)}});
    m_patch.Patch(names[i], TextBytes(5000, i), TextBytes(5000, 10 + i));
  }
  m_patch.Write();
  ToolRecorder recorder;
  ASSERT_TRUE(Apply(recorder)) << ::testing::PrintToString(m_hooks.m_texts);
  ASSERT_EQ(recorder.m_runs.size(), 4u);
  const std::string bin = Install() + "/bin/";
  const char* order[] = {"a.dll", "c.dll", "d.dll", "bin/BramLauncher.exe"};
  for (int i = 0; i < 4; ++i) {
    const std::string target = InstallPath(order[i]);
    EXPECT_EQ(recorder.m_runs[i].m_directory, bin);
    EXPECT_EQ(recorder.m_runs[i].m_executable, bin + "jpatchl-w32.exe");
    EXPECT_EQ(recorder.m_runs[i].m_arguments, "\"" + target + ".pbk\" \"" + m_dir.Sub("patch") +
                                                  "/data/" + order[i] + ".diff\" \"" + target +
                                                  "\"");
  }
}

TEST_F(PatchEngineTest, ToolThatCannotStartIsReportedWithItsCommandLine) {
  Seed({{"a.dll", OLD_A}});
  ASSERT_TRUE(DeletePath(InstallPath("bin/jpatchl-w32.exe")));
  m_patch.Patch("a.dll", OLD_A, NEW_A);
  m_patch.Write();
  const Tree before = All();
  EXPECT_FALSE(Apply());
  const std::string target = InstallPath("a.dll");
  EXPECT_EQ(
      m_hooks.m_texts,
      (std::vector<PostedText>{{TEXT_KIND_NORMAL, FIXED_FAILED_PATCH_COMMAND + std::string("\"") +
                                                      Install() + "/bin/jpatchl-w32.exe\" \"" +
                                                      target + ".pbk\" \"" + m_dir.Sub("patch") +
                                                      "/data/a.dll.diff\" \"" + target + "\""}}));
  EXPECT_EQ(All(), before);
}

TEST_F(PatchEngineTest, ToolPastTheTimeLimitFailsTheEntry) {
  Seed({{"a.dll", OLD_A}, {"b.dll", OLD_B}});
  m_patch.Patch("a.dll", OLD_A, NEW_A);
  m_patch.Write();
  const Tree before = All();
  ToolRecorder recorder;
  recorder.m_timeOut = true;
  EXPECT_FALSE(Apply(recorder));
  EXPECT_EQ(m_hooks.Of(TEXT_KIND_ERROR),
            (std::vector<std::string>{
                "The patch tool did not finish within 10 minutes and was stopped while patching "
                "file a.dll"}));
  EXPECT_EQ(All(), before);
}

TEST(PatchToolRun, HungToolsAreStoppedAtTheTimeLimit) {
  ScopedTempDir dir;
  struct Case {
    std::string script;
    PatchToolResult::State state;
    int code;
    std::string output;
  };
  const Case cases[] = {
      {"echo hi; exit 7", PatchToolResult::EXITED, 7, "hi\n"},
      {"echo started; exec sleep 600", PatchToolResult::TIMED_OUT, 128 + 9, "started\n"},
      // Closes its output first.
      {"exec >/dev/null 2>&1; exec sleep 600", PatchToolResult::TIMED_OUT, 128 + 9, ""},
      // Ends at once but leaves a process behind that holds the output open.
      {"sleep 20 & echo left", PatchToolResult::EXITED, 0, "left\n"},
  };
  for (const Case& c : cases) {
    const PatchToolResult result =
        RealPatchFileSystem().RunTool(dir.path(), "/bin/sh", "-c \"" + c.script + "\"", 300);
    EXPECT_EQ(result.m_state, c.state) << c.script;
    EXPECT_EQ(result.m_exitCode, c.code) << c.script;
    EXPECT_EQ(result.m_output, c.output) << c.script;
  }
  EXPECT_EQ(RealPatchFileSystem().RunTool(dir.Sub("missing"), "/bin/sh", "-c true", 300).m_state,
            PatchToolResult::NOT_STARTED);
}

TEST_F(PatchEngineTest, CancelAtEveryEntryRollsBackSilently) {
  Seed({{"a.dll", OLD_A}, {"gone.txt", "x"}, {UNINSTALL_LOG_NAME, BuildUninstallLog()}});
  m_patch.Add("new\\added.txt", "added");
  m_patch.Delete("gone.txt");
  m_patch.Patch("a.dll", OLD_A, NEW_A);
  m_patch.Write();
  const Tree before = All();
  for (std::size_t allowed = 0; allowed < 3; ++allowed) {
    m_hooks.m_texts.clear();
    m_hooks.m_asked = 0;
    m_hooks.m_stopAfter = allowed;
    EXPECT_FALSE(Apply()) << allowed;
    EXPECT_TRUE(m_hooks.m_texts.empty()) << ::testing::PrintToString(m_hooks.m_texts);
    EXPECT_EQ(All(), before) << allowed;
  }
}

TEST_F(PatchEngineTest, UnusualPathsReachTheToolIntact) {
  const std::string name = "we\"ird name %s.dll";
  Seed({{name, OLD_A}, {"dir with spaces/b.txt", OLD_B}});
  m_patch.Patch(name, OLD_A, NEW_A);
  m_patch.Patch("dir with spaces\\b.txt", OLD_B, NEW_B);
  m_patch.Write();
  ASSERT_TRUE(Apply()) << ::testing::PrintToString(m_hooks.m_texts);
  EXPECT_EQ(Files()[name], NEW_A);
  EXPECT_EQ(Files()["dir with spaces/b.txt"], NEW_B);
}

TEST_F(PatchEngineTest, PatchedAndReplacedFilesKeepTheirPermissions) {
  Seed({{"bin/Kestro.exe", OLD_A}, {"bin/tool.exe", "old tool"}});
  ASSERT_EQ(chmod(InstallPath("bin/Kestro.exe").c_str(), 0751), 0);
  ASSERT_EQ(chmod(InstallPath("bin/tool.exe").c_str(), 0750), 0);
  m_patch.Patch("bin\\Kestro.exe", OLD_A, NEW_A);
  m_patch.Add("bin\\tool.exe", "new tool");
  m_patch.Write();
  ASSERT_TRUE(Apply()) << ::testing::PrintToString(m_hooks.m_texts);
  struct stat status {};
  ASSERT_EQ(stat(InstallPath("bin/Kestro.exe").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0751u);
  ASSERT_EQ(stat(InstallPath("bin/tool.exe").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0750u);
}

TEST_F(PatchEngineTest, EntriesSharingOneBackupAreRefused) {
  // Patching one file twice in a row would replace the first backup, the
  // only copy of the original, with the second.
  const std::string middle = NEW_A;
  const std::string last = NEW_A + "again";
  Seed({{"a.dll", OLD_A}});
  m_patch.Patch("a.dll", OLD_A, middle);
  ScopedTempDir scratch;
  WriteTextFile(scratch.Sub("middle"), middle);
  WriteTextFile(scratch.Sub("last"), last);
  MakeDelta(scratch.Sub("middle"), scratch.Sub("last"), scratch.Sub("diff"));
  m_patch.PatchRaw({"a.dll", Md5OfBytes(last), Md5OfBytes(middle)}, "data\\second.diff",
                   ReadTextFile(scratch.Sub("diff")));
  m_patch.Write();
  const Tree before = All();
  EXPECT_FALSE(Apply());
  EXPECT_EQ(m_hooks.Of(TEXT_KIND_ERROR),
            (std::vector<std::string>{
                FillPatchText(FIXED_BACKUP_FAILED, {InstallPath("a.dll") + ".pbk"})}));
  EXPECT_EQ(All(), before);
}

}  // namespace
}  // namespace BramPatch

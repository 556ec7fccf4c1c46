#include "engine/patch_commands.h"

#include <gtest/gtest.h>

#include "engine/patch_data_paths.h"

namespace BramPatch {
namespace {

TEST(PatchCommands, ExitCodeTexts) {
  struct Case {
    bool archive;
    int code;
    std::string text;
  };
  const Case cases[] = {
      {false, 1, "Not enough Argument Specified to patch the file"},
      {true, 1, "Failed to patch bin\\a.dll, file contents do not match"},
      {false, 2, "Could not open data file bin\\a.dll for reading."},
      {true, 2, "Could not open data file bin\\a.dll for reading."},
      {false, 3, "Could not open patch file bin\\a.dll for reading."},
      {true, 3, "Could not open patch file bin\\a.dll for reading."},
      {false, 4, "Could not open output file for writing."},
      {true, 4, "Could not open output file for writing."},
      {false, 5, "An unknown error (5) occurred while patching file bin\\a.dll"},
      {true, 137, "An unknown error (137) occurred while patching file bin\\a.dll"},
      {false, -1, "An unknown error (-1) occurred while patching file bin\\a.dll"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PatchToolExitText(c.archive, c.code, "bin\\a.dll"), c.text) << c.code;
  }
}

TEST(PatchCommands, ValuesAreInsertedAsTheyStand) {
  EXPECT_EQ(
      FillPatchText("An unknown error (%d) occurred while patching file %s", {"3", "100%d %s.dll"}),
      "An unknown error (3) occurred while patching file 100%d %s.dll");
  EXPECT_EQ(FillPatchText("%s and %s", {"one"}), "one and %s");
  EXPECT_EQ(FillPatchText("50% done", {"x"}), "50% done");
}

TEST(PatchCommands, CommandLinesOfBothTools) {
  EXPECT_EQ(PatchToolFolder("/opt/Kestro"), "/opt/Kestro/bin/");
  EXPECT_EQ(PatchToolFolder("/opt/Kestro/"), "/opt/Kestro/bin/");
  const std::string bin = PatchToolFolder("/opt/Kestro");
  EXPECT_EQ(MakePatchToolCommand(bin, false, "/opt/Kestro/a.dll.pbk", "/tmp/p/data/a.dll.diff",
                                 "/opt/Kestro/a.dll")
                .CommandLine(),
            "\"/opt/Kestro/bin/jpatchl-w32.exe\" \"/opt/Kestro/a.dll.pbk\" "
            "\"/tmp/p/data/a.dll.diff\" \"/opt/Kestro/a.dll\"");
  EXPECT_EQ(MakePatchToolCommand(bin, true, "/opt/Kestro/Base.ja.pbk", "/tmp/p/data/Base-diff.ja",
                                 "/opt/Kestro/Base.ja")
                .CommandLine(),
            "\"/opt/Kestro/bin/PakConverter.exe\" patchapply \"/opt/Kestro/Base.ja.pbk\" "
            "\"/tmp/p/data/Base-diff.ja\" \"/opt/Kestro/Base.ja\"");
}

TEST(PatchDataPaths, ArchiveNamesAndDataNames) {
  struct Case {
    std::string path;
    bool archive;
  };
  const Case cases[] = {
      {"Base.ja", true},  {"data\\Base.ja", true}, {"a.jar", false},
      {"x.ja.ja", false}, {"Base.JA", false},      {"dir.ja\\file.dll", false},
      {"bin\\ja", false}, {".ja", true},           {"sub/Base.ja", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsArchiveFileName(c.path), c.archive) << c.path;

  EXPECT_EQ(AddedDataName("bin\\a.dll"), "data\\bin\\a.dll");
  EXPECT_EQ(DiffDataName("bin\\a.dll"), "data\\bin\\a.dll.diff");
  EXPECT_EQ(ArchiveDiffDataName("Base.ja"), "data\\Base-diff.ja");
  EXPECT_EQ(ArchiveDiffDataName("data\\sub\\Base.ja"), "data\\data\\sub\\Base-diff.ja");
}

}  // namespace
}  // namespace BramPatch

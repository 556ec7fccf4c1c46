// The product's diff tool and archive converter, run as the real programs
// over real deltas made by xdelta3.
#include "product/delta_apply.h"

#include <gtest/gtest.h>

#include "engine/patch_test_support.h"
#include "product/vcdiff_header.h"

namespace BramPatch {
namespace {

const std::string DIFF_TOOL = std::string(OMVEL_BIN_DIR) + "/jpatchl-w32.exe";
const std::string ARCHIVE_TOOL = std::string(OMVEL_BIN_DIR) + "/PakConverter.exe";

class DeltaToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Mostly random bytes with a changed stretch in the middle, so the
    // delta holds both copies and new data.
    const std::string old_bytes = RandomBytes(300000, 1);
    std::string new_bytes = old_bytes;
    new_bytes.replace(100000, 5000, RandomBytes(7000, 2));
    WriteTextFile(Old(), old_bytes);
    WriteTextFile(New(), new_bytes);
    MakeDelta(Old(), New(), Diff());
    MakeDelta(Old(), New(), ArchiveDiff(), MakeArchiveDiffHeader(Md5Of(Old()), Md5Of(New())));
  }

  std::string Old() const { return m_dir.Sub("old.bin"); }
  std::string New() const { return m_dir.Sub("new.bin"); }
  std::string Diff() const { return m_dir.Sub("old.bin.diff"); }
  std::string ArchiveDiff() const { return m_dir.Sub("old-diff.ja"); }
  std::string Out() const { return m_dir.Sub("out.bin"); }

  ScopedTempDir m_dir;
};

TEST_F(DeltaToolTest, DiffToolExitCodes) {
  ASSERT_TRUE(MakeDirectory(m_dir.Sub("folder")));
  WriteTextFile(m_dir.Sub("garbage.diff"), "not a delta at all");
  const std::string diff_bytes = ReadTextFile(Diff());
  WriteTextFile(m_dir.Sub("cut.diff"), diff_bytes.substr(0, diff_bytes.size() / 2));
  WriteTextFile(m_dir.Sub("other.bin"), RandomBytes(300000, 3));  // not the diff's source

  struct Case {
    std::vector<std::string> arguments;
    int code;
  };
  const Case cases[] = {
      {{}, DIFF_TOOL_EXIT_ARGUMENTS},
      {{Old(), Diff()}, DIFF_TOOL_EXIT_ARGUMENTS},
      {{Old(), Diff(), Out(), "extra"}, DIFF_TOOL_EXIT_ARGUMENTS},
      {{m_dir.Sub("missing.bin"), Diff(), Out()}, DIFF_TOOL_EXIT_BACKUP},
      {{m_dir.Sub("folder"), Diff(), Out()}, DIFF_TOOL_EXIT_BACKUP},
      {{Old(), m_dir.Sub("missing.diff"), Out()}, DIFF_TOOL_EXIT_DIFF},
      {{Old(), m_dir.Sub("garbage.diff"), Out()}, DIFF_TOOL_EXIT_DIFF},
      {{Old(), m_dir.Sub("cut.diff"), Out()}, DIFF_TOOL_EXIT_DIFF},
      {{m_dir.Sub("other.bin"), Diff(), Out()}, DIFF_TOOL_EXIT_DIFF},
      {{Old(), Diff(), m_dir.Sub("no/such/folder/out.bin")}, DIFF_TOOL_EXIT_TARGET},
      {{Old(), Diff(), m_dir.Sub("folder")}, DIFF_TOOL_EXIT_TARGET},
      {{Old(), Diff(), "/dev/full"}, DIFF_TOOL_EXIT_TARGET},  // fails while writing
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(RunProgram(DIFF_TOOL, c.arguments, &output), c.code)
        << ::testing::PrintToString(c.arguments) << "\n"
        << output;
  }
}

TEST_F(DeltaToolTest, DiffToolWritesTheNewFileFromWindowsStylePaths) {
  std::string backslashed = Old();
  NormalizeSeparators(backslashed, '\\');
  EXPECT_EQ(RunProgram(DIFF_TOOL, {backslashed, Diff(), Out()}), DIFF_TOOL_EXIT_OK);
  EXPECT_EQ(ReadTextFile(Out()), ReadTextFile(New()));
}

TEST_F(DeltaToolTest, ArchiveToolChecksTheSourceItWasMadeFrom) {
  WriteTextFile(m_dir.Sub("other.bin"), RandomBytes(300000, 3));
  struct Case {
    std::vector<std::string> arguments;
    int code;
  };
  const Case cases[] = {
      {{Old(), ArchiveDiff(), Out()}, DIFF_TOOL_EXIT_ARGUMENTS},
      {{"apply", Old(), ArchiveDiff(), Out()}, DIFF_TOOL_EXIT_ARGUMENTS},
      {{"patchapply", m_dir.Sub("other.bin"), ArchiveDiff(), Out()}, DIFF_TOOL_EXIT_MISMATCH},
      {{"patchapply", m_dir.Sub("missing.bin"), ArchiveDiff(), Out()}, DIFF_TOOL_EXIT_BACKUP},
      {{"patchapply", Old(), m_dir.Sub("missing.ja"), Out()}, DIFF_TOOL_EXIT_DIFF},
      {{"patchapply", Old(), Diff(), Out()}, DIFF_TOOL_EXIT_DIFF},  // carries no checksums
      {{"patchapply", Old(), ArchiveDiff(), m_dir.Sub("no/folder/out.bin")}, DIFF_TOOL_EXIT_TARGET},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(RunProgram(ARCHIVE_TOOL, c.arguments, &output), c.code)
        << ::testing::PrintToString(c.arguments) << "\n"
        << output;
  }

  EXPECT_EQ(RunProgram(ARCHIVE_TOOL, {"patchapply", Old(), ArchiveDiff(), Out()}),
            DIFF_TOOL_EXIT_OK);
  EXPECT_EQ(ReadTextFile(Out()), ReadTextFile(New()));

  // An archive that already is the diff's result is passed through as it is.
  const std::string again = m_dir.Sub("again.bin");
  EXPECT_EQ(RunProgram(ARCHIVE_TOOL, {"patchapply", New(), ArchiveDiff(), again}),
            DIFF_TOOL_EXIT_OK);
  EXPECT_EQ(ReadTextFile(again), ReadTextFile(New()));
}

TEST(ArchiveDiffHeader, ParsesOnlyItsOwnForm) {
  const std::string a(32, 'a');
  const std::string b(32, '0');
  std::string source, target;
  ASSERT_TRUE(ParseArchiveDiffHeader(MakeArchiveDiffHeader(a, b), &source, &target));
  EXPECT_EQ(source, a);
  EXPECT_EQ(target, b);
  const std::string bad[] = {
      "",
      "omvel-pak/" + a,
      "omvel-pak/" + a + "/" + b + "x",
      "other-pak/" + a + "/" + b,
      "omvel-pak/" + std::string(32, 'A') + "/" + b,
      "b//a/",
  };
  for (const std::string& header : bad) {
    EXPECT_FALSE(ParseArchiveDiffHeader(header, &source, &target)) << header;
  }
}

}  // namespace
}  // namespace BramPatch

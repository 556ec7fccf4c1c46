// Patch authoring: what `make` writes for two build trees, what it refuses,
// and the whole way from two builds to a patched installation.
#include "tools/patch_author.h"

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include <gtest/gtest.h>

#include "engine/archive_reader.h"
#include "engine/patch_engine.h"
#include "engine/patch_test_support.h"
#include "text/fixed_texts.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

const std::string PATCHKIT = std::string(OMVEL_BIN_DIR) + "/omvel-patchkit";

class PatchAuthorTest : public ::testing::Test {
 protected:
  std::string Old() const { return m_dir.Sub("old"); }
  std::string New() const { return m_dir.Sub("new"); }
  std::string Archive() const { return m_dir.Sub("patch.zip"); }
  std::string Unpacked() const { return m_dir.Sub("unpacked"); }

  bool Make(std::string* error) {
    std::ostringstream out;
    return MakePatchArchive(Old(), New(), Archive(), out, error);
  }

  // Makes the archive and unpacks it.
  void MakeAndUnpack() {
    std::string error;
    ASSERT_TRUE(Make(&error)) << error;
    ASSERT_TRUE(MakeDirectory(Unpacked()));
    ASSERT_TRUE(UnpackArchive(Archive(), Unpacked(), &error)) << error;
  }

  std::string UnpackedFile(const std::string& name) const {
    return ReadTextFile(Unpacked() + "/" + name);
  }

  ScopedTempDir m_dir;
};

TEST_F(PatchAuthorTest, WritesManifestsDataAndDiffs) {
  const std::string old_dll = RandomBytes(60000, 1);
  const std::string new_dll = old_dll.substr(0, 30000) + "new code" + old_dll.substr(30000);
  WriteTree(Old(), {{"bin/a.dll", old_dll},
                    {"same.txt", "unchanged"},
                    {"gone/old.txt", "old"},
                    {"Base.ja", TextBytes(20000, 2)},
                    {"unins000.dat", "installation state"},
                    {"empty", TREE_DIRECTORY}});
  WriteTree(New(), {{"bin/a.dll", new_dll},
                    {"same.txt", "unchanged"},
                    {"fresh/deep/new.txt", "brand new"},
                    {"Base.ja", TextBytes(21000, 3)},
                    {"unins000.dat", "other state"}});
  MakeAndUnpack();

  const std::string md5_old_dll = Md5Of(Old() + "/bin/a.dll");
  const std::string md5_new_dll = Md5Of(New() + "/bin/a.dll");
  EXPECT_EQ(UnpackedFile(MANIFEST_ADDED),
            "fresh\\deep\\new.txt\r\n" + Md5Of(New() + "/fresh/deep/new.txt") + "\r\n\r\n");
  EXPECT_EQ(UnpackedFile(MANIFEST_DELETED),
            "gone\\old.txt\r\n" + Md5Of(Old() + "/gone/old.txt") + "\r\n\r\n");
  EXPECT_EQ(UnpackedFile(MANIFEST_PATCHED), "Base.ja\r\n" + Md5Of(New() + "/Base.ja") + "\r\n" +
                                                Md5Of(Old() + "/Base.ja") + "\r\nbin\\a.dll\r\n" +
                                                md5_new_dll + "\r\n" + md5_old_dll + "\r\n");
  EXPECT_EQ(UnpackedFile("data/fresh/deep/new.txt"), "brand new");

  // Unchanged files, the uninstaller log and empty folders are left out; a
  // ".ja" archive without the archive tool in the new build gets an
  // ordinary diff.
  Tree files = FilesOf(ReadTree(Unpacked()));
  std::vector<std::string> names;
  for (const auto& [name, contents] : files) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"addedFiles.txt", "data/Base.ja.diff",
                                             "data/bin/a.dll.diff", "data/fresh/deep/new.txt",
                                             "deletedFiles.txt", "patchedFiles.txt"}));

  // The diff is a delta from the old file to the new one, and a small one.
  EXPECT_LT(files["data/bin/a.dll.diff"].size(), 1000u);
  EXPECT_EQ(RunProgram("xdelta3", {"-d", "-f", "-s", Old() + "/bin/a.dll",
                                   Unpacked() + "/data/bin/a.dll.diff", m_dir.Sub("out")}),
            0);
  EXPECT_EQ(ReadTextFile(m_dir.Sub("out")), new_dll);
}

TEST_F(PatchAuthorTest, ArchivesGetArchiveDiffsWhenTheNewBuildHasTheArchiveTool) {
  const Tree tools = {{"bin/PakConverter.exe", "tool"}};
  WriteTree(Old(), tools);
  WriteTree(New(), tools);
  WriteTree(Old(), {{"paks/Base.ja", TextBytes(20000, 4)}});
  WriteTree(New(), {{"paks/Base.ja", TextBytes(20500, 5)}});
  MakeAndUnpack();
  EXPECT_TRUE(FileExists(Unpacked() + "/data/paks/Base-diff.ja"));
  EXPECT_FALSE(FileExists(Unpacked() + "/data/paks/Base.ja.diff"));
  // The converter accepts it: it carries the checksums of both archives.
  EXPECT_EQ(RunProgram(std::string(OMVEL_BIN_DIR) + "/PakConverter.exe",
                       {"patchapply", Old() + "/paks/Base.ja",
                        Unpacked() + "/data/paks/Base-diff.ja", m_dir.Sub("out.ja")}),
            0);
  EXPECT_EQ(ReadTextFile(m_dir.Sub("out.ja")), TextBytes(20500, 5));
}

TEST_F(PatchAuthorTest, LargeFilesAreDiffedAcrossTheirWholeLength) {
  // Beyond xdelta3's default source window: the halves swap places, which
  // only a window as large as the file finds.
  const std::size_t half = AUTHOR_DEFAULT_SOURCE_WINDOW / 2 + (4 << 20);
  const std::string a = RandomBytes(half, 6);
  const std::string b = RandomBytes(half, 7);
  WriteTree(Old(), {{"big.dat", a + b}});
  WriteTree(New(), {{"big.dat", b + a}});
  MakeAndUnpack();
  EXPECT_LT(ReadTextFile(Unpacked() + "/data/big.dat.diff").size(), 64u * 1024);
}

TEST_F(PatchAuthorTest, RefusesTreesItCannotRepresent) {
  struct Case {
    std::string what;
    Tree old_tree;
    Tree new_tree;
    std::string named;  // part of the error
  };
  const Case cases[] = {
      {"added file without extension", {}, {{"bin/README", "x"}}, "bin/README"},
      {"data below a dotted folder", {{"v1.2/a.dll", "1"}}, {{"v1.2/a.dll", "2"}}, "v1.2/a.dll"},
      {"backslash in a name", {}, {{"a\\b.txt", "x"}}, "a\\b.txt"},
      {"backup name", {}, {{"a.dll.pbk", "x"}}, "a.dll.pbk"},
      {"file becomes folder", {{"x.dat", "f"}}, {{"x.dat/y.txt", "f"}}, "x.dat"},
      {"folder becomes file", {{"x.dat/y.txt", "f"}}, {{"x.dat", "f"}}, "x.dat"},
      {"line break", {}, {{"a\nb.txt", "x"}}, "line break"},
      {"not UTF-8", {}, {{"bad\xFF.txt", "x"}}, "UTF-8"},
  };
  for (const Case& c : cases) {
    ScopedTempDir dir;
    WriteTree(dir.Sub("old"), c.old_tree);
    WriteTree(dir.Sub("new"), c.new_tree);
    ASSERT_TRUE(MakeDirectory(dir.Sub("old")) && MakeDirectory(dir.Sub("new")));
    std::ostringstream out;
    std::string error;
    EXPECT_FALSE(MakePatchArchive(dir.Sub("old"), dir.Sub("new"), dir.Sub("p.zip"), out, &error))
        << c.what;
    EXPECT_NE(error.find(c.named), std::string::npos) << c.what << ": " << error;
    EXPECT_FALSE(FileExists(dir.Sub("p.zip"))) << c.what;
    EXPECT_FALSE(FileExists(dir.Sub("p.zip.partial"))) << c.what;
  }

  // A link, and an archive that would land inside a build.
  WriteTree(Old(), {{"a.txt", "a"}});
  WriteTree(New(), {{"a.txt", "a"}});
  ASSERT_EQ(symlink("/etc/hostname", (New() + "/link.txt").c_str()), 0);
  std::string error;
  EXPECT_FALSE(Make(&error));
  EXPECT_NE(error.find("link.txt"), std::string::npos) << error;
  ASSERT_TRUE(DeletePath(New() + "/link.txt"));
  std::ostringstream out;
  EXPECT_FALSE(MakePatchArchive(Old(), New(), New() + "/patch.zip", out, &error));
  EXPECT_NE(error.find("inside"), std::string::npos) << error;
  EXPECT_FALSE(FileExists(New() + "/patch.zip"));
}

}  // namespace
}  // namespace BramPatch

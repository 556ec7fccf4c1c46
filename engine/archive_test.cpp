#include <algorithm>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "engine/archive_reader.h"
#include "engine/archive_writer.h"
#include "engine/engine_test_support.h"
#include "engine/le_fields.h"
#include "foundation/paths.h"
#include "foundation/utf.h"
#include "kit/compressed_stream.h"
#include "kit/data_buffer_memory_dynamic.h"
#include "kit/data_buffer_memory_static.h"

namespace BramPatch {
namespace {

// One compressed stream holding `bytes`, as the archive stores it.
std::string Stream(const std::string& bytes) {
  BramDataBufferMemoryDynamic out;
  auto in = BramDataBufferMemoryStatic::CopyOf(bytes);
  EXPECT_EQ(BramUtil::CompressData(out, *in), BRAMRESULT_OK);
  return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
}

std::string NameStream(const std::u16string& units) {
  std::string bytes;
  AppendLe(&bytes, units.size(), 4);
  return Stream(bytes + Utf16ToLeBytes(units));
}

std::string NameStream(const std::string& utf8) { return NameStream(Utf8ToUtf16(utf8)); }

std::string Version(std::uint32_t version) {
  std::string bytes;
  AppendLe(&bytes, version, 4);
  return bytes;
}

// A directory for the archive and one to unpack into, side by side in a
// parent, so that tests can see whether anything landed outside.
class ArchiveTest : public ::testing::Test {
 protected:
  ArchiveTest() {
    std::filesystem::create_directories(Dest());
    std::filesystem::create_directories(Source());
  }
  std::string Archive() const { return m_work.Sub("patch.zip"); }
  std::string Dest() const { return m_work.Sub("out/dest"); }
  std::string Outside() const { return m_work.Sub("out"); }
  std::string Source() const { return m_work.Sub("tree"); }

  bool Unpack(const std::string& bytes, std::string* error = nullptr) {
    WriteTextFile(Archive(), bytes);
    return UnpackArchive(Archive(), Dest(), error);
  }

  ScopedTempDir m_work;
};

TEST_F(ArchiveTest, PackAndUnpackRoundTripByteForByte) {
  const Tree tree = {
      {"addedFiles.txt", "bin\\new.dll\r\nd41d8cd98f00b204e9800998ecf8427e\r\n\r\n"},
      {"deletedFiles.txt", ""},
      {"patchedFiles.txt", ""},
      {"data", TREE_DIRECTORY},
      {"data/bin", TREE_DIRECTORY},
      {"data/bin/new.dll", RandomBytes(3 * 1024 * 1024 + 17, 1)},  // several inflate pieces
      {"data/bin/Kestro.exe.diff", TextBytes(100000, 2)},
      {"data/Base-diff.ja", RandomBytes(1, 3)},
      {"data/empty", TREE_DIRECTORY},
      {"data/\xC3\xA9t\xC3\xA9 \xE2\x80\x9C\xE6\x96\x87\xE2\x80\x9D.txt", "unicode"},
      {"data/.hidden", "dot first"},
  };
  WriteTree(Source(), tree);
  std::string error;
  std::vector<PackItem> items;
  ASSERT_TRUE(PackDirectory(Source(), Archive(), &error, &items)) << error;
  EXPECT_FALSE(FileExists(Archive() + ".partial"));
  ASSERT_EQ(items.size(), tree.size());

  UnpackCounts counts;
  ASSERT_TRUE(UnpackArchive(Archive(), Dest(), &error, &counts)) << error;
  EXPECT_EQ(ReadTree(Dest()), tree);
  EXPECT_EQ(counts.m_directories, 3u);
  EXPECT_EQ(counts.m_files, 8u);

  // Directories come before their entries; names carry ".\" and '\'.
  std::vector<ArchiveListing> listing;
  ASSERT_TRUE(ListArchive(Archive(), &listing, &error)) << error;
  ASSERT_EQ(listing.size(), tree.size());
  EXPECT_EQ(listing[0].m_entry.m_name, ".\\addedFiles.txt");
  EXPECT_EQ(listing[1].m_entry.m_name, ".\\data");
  EXPECT_TRUE(listing[1].m_entry.m_isDirectory);
  EXPECT_EQ(listing[2].m_entry.m_name, ".\\data\\.hidden");
  size_t bin = 0;
  for (size_t i = 0; i < listing.size(); ++i) {
    if (listing[i].m_entry.m_name == ".\\data\\bin") bin = i;
    if (listing[i].m_entry.m_name == ".\\data\\bin\\new.dll") {
      EXPECT_GT(i, bin);
      EXPECT_EQ(listing[i].m_size, 3u * 1024 * 1024 + 17);
    }
  }
}

TEST_F(ArchiveTest, PackRefusesWhatTheFormatCannotCarry) {
  struct Case {
    Tree tree;
    std::string expected;  // in the error
  };
  const Case cases[] = {
      {{{"README", "x"}}, "without an extension"},
      {{{"data", TREE_DIRECTORY}, {"data/bin/LICENSE", "x"}}, "data/bin/LICENSE"},
      {{{"v1.2", TREE_DIRECTORY}, {"v1.2/a.txt", "x"}}, "holds '.'"},
      {{{"back\\slash.txt", "x"}}, "separator"},
  };
  for (const Case& c : cases) {
    ScopedTempDir tree;
    WriteTree(tree.path(), c.tree);
    std::string error;
    EXPECT_FALSE(PackDirectory(tree.path(), Archive(), &error)) << c.expected;
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_FALSE(FileExists(Archive()));
    EXPECT_FALSE(FileExists(Archive() + ".partial"));
  }

  ScopedTempDir linked;
  WriteTree(linked.path(), {{"real", TREE_DIRECTORY}, {"real/a.txt", "x"}});
  std::filesystem::create_directory_symlink(linked.Sub("real"), linked.Sub("alias"));
  std::string error;
  EXPECT_FALSE(PackDirectory(linked.path(), Archive(), &error));
  EXPECT_NE(error.find("link to a folder"), std::string::npos) << error;

  // A failed pack leaves an older archive at the target as it was.
  WriteTextFile(Archive(), "older");
  EXPECT_FALSE(PackDirectory(linked.path(), Archive(), &error));
  EXPECT_EQ(ReadTextFile(Archive()), "older");
}

TEST_F(ArchiveTest, HandMadeArchives) {
  // Entries the reader takes by the shape of their names.
  std::string error;
  EXPECT_TRUE(Unpack(Version(1) + NameStream(".\\data") + NameStream(".\\data\\README") +
                         NameStream(".\\deletedFiles.txt") + Stream(""),
                     &error))
      << error;
  EXPECT_EQ(
      ReadTree(Dest()),
      (Tree{{"data", TREE_DIRECTORY}, {"data/README", TREE_DIRECTORY}, {"deletedFiles.txt", ""}}));

  ScopedTempDir empty_dest;
  WriteTextFile(Archive(), Version(1));
  EXPECT_TRUE(UnpackArchive(Archive(), empty_dest.path()));
  EXPECT_TRUE(ReadTree(empty_dest.path()).empty());

  WriteTextFile(Archive(), Version(2) + NameStream(".\\a.txt") + Stream("x"));
  EXPECT_FALSE(UnpackArchive(Archive(), empty_dest.path(), &error));
  EXPECT_NE(error.find("version 2"), std::string::npos) << error;
  EXPECT_TRUE(ReadTree(empty_dest.path()).empty());

  EXPECT_FALSE(UnpackArchive(m_work.Sub("missing.zip"), empty_dest.path(), &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

TEST_F(ArchiveTest, UnsafeNamesAreRefusedAndNothingLandsOutside) {
  std::filesystem::create_directories(m_work.Sub("elsewhere"));
  std::filesystem::create_directory_symlink(m_work.Sub("elsewhere"), Dest() + "/link");
  const std::u16string names[] = {
      u"..\\evil.txt",
      u".\\..\\evil.txt",
      u".\\sub\\..\\..\\evil.txt",
      Utf8ToUtf16(m_work.Sub("evil.txt")),  // absolute
      u"\\evil.txt",
      u"C:\\evil.txt",
      u"c:evil.txt",
      std::u16string(u".\\evil.txt\0.x", 13),
      u".\\link\\evil.txt",
  };
  const Tree before = ReadTree(m_work.path());
  for (const std::u16string& name : names) {
    std::string error;
    std::string archive =
        Version(1) + NameStream(u".\\ok.txt") + Stream("fine") + NameStream(name) + Stream("evil");
    EXPECT_FALSE(Unpack(archive, &error)) << Utf16ToUtf8(name);
    EXPECT_TRUE(error.find("unsafe path") != std::string::npos ||
                error.find("holds NUL") != std::string::npos)
        << error;
    EXPECT_EQ(ReadTextFile(Dest() + "/ok.txt"), "fine");
    Tree after = ReadTree(m_work.path());
    after.erase("out/dest/ok.txt");
    after.erase("patch.zip");
    EXPECT_EQ(after, before) << Utf16ToUtf8(name);
  }
}

TEST_F(ArchiveTest, MalformedEntriesFail) {
  std::string count_too_large;
  AppendLe(&count_too_large, 5, 4);
  count_too_large += Utf16ToLeBytes(u"a.txt").substr(0, 6);
  std::string trailing;
  AppendLe(&trailing, 1, 4);
  trailing += Utf16ToLeBytes(u"a") + "junk";
  std::string huge(4 + 2 * (ARCHIVE_MAX_NAME_UNITS + 1), 'a');
  StoreLe(&huge, 0, ARCHIVE_MAX_NAME_UNITS + 1, 4);
  std::string absurd_block = Version(1);  // one block claiming 4 GiB of input
  AppendLe(&absurd_block, 0xFFFFFFF0u, 4);
  AppendLe(&absurd_block, BRAMUTIL_MAX_BLOCK_SIZE, 4);
  absurd_block += "zz";

  const std::pair<const char*, std::string> cases[] = {
      {"lone surrogate", Version(1) + NameStream(std::u16string(u"\xD800.txt", 5)) + Stream("x")},
      {"count beyond the name", Version(1) + Stream(count_too_large) + Stream("x")},
      {"bytes after the name", Version(1) + Stream(trailing) + Stream("x")},
      {"name too long", Version(1) + Stream(huge) + Stream("x")},
      {"name shorter than its count", Version(1) + Stream("ab")},
      {"file without data", Version(1) + NameStream(".\\a.txt")},
      {"block claiming huge lengths", Version(1) + NameStream(".\\a.txt") + absurd_block},
      {"half a version word", std::string("\x01\x00", 2)},
  };
  for (const auto& [what, bytes] : cases) {
    std::string error;
    EXPECT_FALSE(Unpack(bytes, &error)) << what;
    if (std::string(what) == "name too long") {
      EXPECT_NE(error.find("longer than 32767"), std::string::npos) << error;
    }
    EXPECT_FALSE(error.empty()) << what;
    EXPECT_FALSE(FileExists(Dest() + "/a.txt")) << what;
    std::vector<ArchiveListing> listing;
    EXPECT_FALSE(ListArchive(Archive(), &listing, &error)) << what;
  }
}

// Cuts a small archive at every length: the reader must never crash, and
// whatever it reports, every file it leaves behind holds exactly the bytes
// the archive carries for it. A cut at an entry boundary is a valid, shorter
// archive (the format has no entry count), so success is allowed there.
TEST_F(ArchiveTest, TruncatedAtEveryLength) {
  const Tree tree = {
      {"a.txt", "first file"}, {"data", TREE_DIRECTORY},     {"data/b.bin", RandomBytes(40, 7)},
      {"data/empty.txt", ""},  {"data/sub", TREE_DIRECTORY}, {"data/sub/c.txt", TextBytes(300, 8)},
  };
  WriteTree(Source(), tree);
  std::string error;
  ASSERT_TRUE(PackDirectory(Source(), Archive(), &error)) << error;
  const std::string whole = ReadTextFile(Archive());
  ASSERT_LT(whole.size(), 1000u);

  // The lengths at which a prefix is a complete archive.
  std::vector<ArchiveListing> listing;
  ASSERT_TRUE(ListArchive(Archive(), &listing, &error));
  std::set<size_t> boundaries;
  {
    std::string prefix = Version(1);
    boundaries.insert(prefix.size());
    for (const ArchiveListing& item : listing) {
      prefix += NameStream(item.m_entry.m_name);
      if (!item.m_entry.m_isDirectory) {
        std::string relative = item.m_entry.m_name.substr(2);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        prefix += Stream(tree.at(relative));
      }
      boundaries.insert(prefix.size());
    }
    ASSERT_EQ(prefix, whole);  // the writer is deterministic
  }

  for (size_t length = 0; length < whole.size(); ++length) {
    ScopedTempDir dest;
    WriteTextFile(Archive(), whole.substr(0, length));
    bool ok = UnpackArchive(Archive(), dest.path(), &error);
    EXPECT_EQ(ok, boundaries.count(length) == 1) << "cut at " << length;
    for (const auto& [relative, contents] : ReadTree(dest.path())) {
      ASSERT_TRUE(tree.count(relative)) << relative;
      EXPECT_EQ(contents, tree.at(relative)) << relative << " cut at " << length;
    }
    std::vector<ArchiveListing> cut_listing;
    EXPECT_EQ(ListArchive(Archive(), &cut_listing, &error), ok) << "cut at " << length;
  }
}

}  // namespace
}  // namespace BramPatch

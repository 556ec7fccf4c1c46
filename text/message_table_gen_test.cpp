// Runs the build's table generator on small data files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

class MessageTableGen : public testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("message_table_gen_test." + std::to_string(std::random_device{}()) + "." +
             testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  static void Write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Runs the generator on messages.tsv into table.cpp; returns its exit status.
  int Generate() {
    const std::string command =
        std::string("'") + OMVEL_MESSAGE_TABLE_GEN + "' '" + (m_dir / "messages.tsv").string() +
        "' '" + (m_dir / "table.cpp").string() + "' 2>'" + (m_dir / "stderr").string() + "'";
    return std::system(command.c_str());
  }

  fs::path m_dir;
};

TEST_F(MessageTableGen, WritesTheTableSortedByLanguageAndId) {
  Write(m_dir / "messages.tsv",
        "122\t9\tb\n121\t1049\t\xD0\x94"
        "a\n121\t9\ta \"?\\\\\n");
  ASSERT_EQ(Generate(), 0) << Read(m_dir / "stderr");
  const std::string table = Read(m_dir / "table.cpp");
  // Quotes, question marks and backslashes are escaped; a hex escape that a
  // hex digit follows ends its literal, or the digit would join the escape.
  const std::size_t first =
      table.find(R"({9, 121, "a \042\077\134"sv, u"a \x0022\x003F\x005C"sv},)");
  const std::size_t second = table.find(R"({9, 122, "b"sv, u"b"sv},)");
  const std::size_t third = table.find(R"({1049, 121, "\320\224a"sv, u"\x0414" u"a"sv},)");
  ASSERT_NE(first, std::string::npos) << table;
  ASSERT_NE(second, std::string::npos) << table;
  ASSERT_NE(third, std::string::npos) << table;
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);
  EXPECT_FALSE(fs::exists(m_dir / "table.cpp.tmp"));
}

TEST_F(MessageTableGen, MalformedLineFailsAndKeepsTheOldTable) {
  Write(m_dir / "table.cpp", "old");
  Write(m_dir / "messages.tsv", "# comment\n121\t9\tok\n121\t9\tagain\n");
  EXPECT_NE(Generate(), 0);
  EXPECT_EQ(Read(m_dir / "stderr"),
            (m_dir / "messages.tsv").string() +
                ":3: second entry for id 121, language 9 (first on line 2)\n");
  EXPECT_EQ(Read(m_dir / "table.cpp"), "old");
  EXPECT_FALSE(fs::exists(m_dir / "table.cpp.tmp"));
}

}  // namespace

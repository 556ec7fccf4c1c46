#include "foundation/registry_text.h"

#include <gtest/gtest.h>

#include "foundation/registry_names.h"
#include "foundation/utf.h"

namespace {

// Every form the format knows, in the writer's own layout, so that writing
// the parsed document must give these bytes back.
const char* const FULL_FILE =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; the product's registration\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\{1}]\n"
    "\"ProductClass\"=\"Kestro\"\n"
    "; where it lives\n"
    "\"ProductInstallPath\"=\"C:\\\\Games\\\\K \\\"x\\\"\\\\\"\n"
    "@=\"default\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Omvel]\n"
    "\"IsPatching\"=dword:0000001f\n"
    "\"Blob\"=hex:01,02,\\\n"
    "  03,ff\n"
    "\"Multi\"=hex(7):41,00,00,00\n"
    "\"Größe\"=\"Ключ\"\n"
    "\"Empty\"=\"\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Empty key]\n"
    "\n"
    "; end\n";

const RegistryNames PRODUCT = {"SOFTWARE", "Omvel", "Products", "KestroSimulator", "{1}"};
const RegistryNames OMVEL = {"Software", "Omvel"};

RegistryDocument Parse(std::string_view text) {
  RegistryDocument document;
  RegistryParseError error;
  EXPECT_TRUE(ParseRegistryText(text, &document, &error)) << error.line << ": " << error.message;
  return document;
}

TEST(RegistryText, ReadsEveryValueFormAndWritesTheSameBytesBack) {
  const RegistryDocument document = Parse(FULL_FILE);
  ASSERT_EQ(document.sections.size(), 3u);
  EXPECT_EQ(document.encoding, RegistryEncoding::UTF8);
  EXPECT_FALSE(document.crlf);

  const RegistryValue* path = document.FindValue(PRODUCT, "productinstallpath");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->data, "C:\\Games\\K \"x\"\\");
  const RegistryValue* byDefault = document.FindValue(PRODUCT, "");
  ASSERT_NE(byDefault, nullptr);
  EXPECT_EQ(byDefault->data, "default");

  const RegistryValue* flag = document.FindValue(OMVEL, "IsPatching");
  ASSERT_NE(flag, nullptr);
  EXPECT_EQ(flag->type, RegistryValueType::DWORD);
  EXPECT_EQ(flag->dword, 0x1Fu);
  const RegistryValue* blob = document.FindValue(OMVEL, "blob");
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(blob->type, RegistryValueType::BINARY);
  EXPECT_EQ(blob->data, "hex:01,02,\\\n  03,ff");
  const RegistryValue* unicode = document.FindValue(OMVEL, "GRÖSSE");
  EXPECT_EQ(unicode, nullptr) << "ß has no one-letter upper case; it stays distinct";
  unicode = document.FindValue(OMVEL, "GRÖßE");
  ASSERT_NE(unicode, nullptr);
  EXPECT_EQ(unicode->data, "Ключ");

  EXPECT_TRUE(document.KeyExists({"software", "omvel", "products"}));  // implied by a key below
  EXPECT_FALSE(document.KeyExists({"Software", "Omvel", "Product"}));
  EXPECT_EQ(FormatRegistryText(document), FULL_FILE);
}

TEST(RegistryText, KeepsCrLfByteOrderMarkAndUtf16) {
  std::string crlf;
  for (const char c : std::string(FULL_FILE))
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::string bom = std::string("\xEF\xBB\xBF") + FULL_FILE;
  const std::string utf16 = "\xFF\xFE" + Utf16ToLeBytes(Utf8ToUtf16(crlf));
  const struct {
    const char* name;
    const std::string& bytes;
    RegistryEncoding encoding;
    bool crlf;
  } cases[] = {
      {"crlf", crlf, RegistryEncoding::UTF8, true},
      {"bom", bom, RegistryEncoding::UTF8_BOM, false},
      {"utf16", utf16, RegistryEncoding::UTF16LE, true},
  };
  for (const auto& c : cases) {
    const RegistryDocument document = Parse(c.bytes);
    EXPECT_EQ(document.encoding, c.encoding) << c.name;
    EXPECT_EQ(document.crlf, c.crlf) << c.name;
    ASSERT_NE(document.FindValue(OMVEL, "Größe"), nullptr) << c.name;
    EXPECT_EQ(document.FindValue(OMVEL, "Größe")->data, "Ключ") << c.name;
    EXPECT_EQ(FormatRegistryText(document), c.bytes) << c.name;
  }
}

TEST(RegistryText, ToleratesHandWrittenForms) {
  const RegistryDocument document = Parse(
      "  Windows Registry Editor Version 5.00  \n"
      "[hkey_local_machine\\A]\n"
      "  \"x\" = dword:1F  \n"
      "\"s\"\t=\t\"text\"\t\n"
      "\"x2\"=DWORD:FFFFFFFF\n"
      "[HKEY_LOCAL_MACHINE\\B]\n"
      "[HKEY_LOCAL_MACHINE\\a]\n"  // the same key again: joins the first
      "\"X\"=dword:2\n"            // the same value again: the later wins
      "[HKEY_LOCAL_MACHINE]\n"
      "\"root\"=\"r\"\n");
  ASSERT_EQ(document.sections.size(), 3u);
  ASSERT_NE(document.FindValue({"A"}, "x"), nullptr);
  EXPECT_EQ(document.FindValue({"A"}, "x")->dword, 2u);
  EXPECT_EQ(document.FindValue({"A"}, "x")->name, "x");
  EXPECT_EQ(document.FindValue({"A"}, "x2")->dword, 0xFFFFFFFFu);
  EXPECT_EQ(document.FindValue({"A"}, "s")->data, "text");
  EXPECT_EQ(document.FindValue({}, "root")->data, "r");
  EXPECT_EQ(FormatRegistryText(document),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:00000002\n\"s\"=\"text\"\n"
            "\"x2\"=dword:ffffffff\n\n"
            "[HKEY_LOCAL_MACHINE\\B]\n\n"
            "[HKEY_LOCAL_MACHINE]\n\"root\"=\"r\"\n\n");
}

TEST(RegistryText, EmptyFileIsAnEmptyHive) {
  for (const char* text : {"", " \r\n\n", "\xEF\xBB\xBF", "\xFF\xFE"}) {
    const RegistryDocument document = Parse(text);
    EXPECT_TRUE(document.sections.empty());
    EXPECT_TRUE(document.trailing_comments.empty());
  }
}

TEST(RegistryText, RejectsMalformedFilesWithTheLine) {
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::string key = header + "[HKEY_LOCAL_MACHINE\\K]\n";
  const struct {
    std::string text;
    int line;
    const char* message;
  } cases[] = {
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n", 1, "first line"},
      {header + "\"v\"=\"x\"\n", 2, "before the first key"},
      {header + "[HKEY_CURRENT_USER\\K]\n", 2, "not under HKEY_LOCAL_MACHINE"},
      {header + "[HKEY_LOCAL_MACHINEX\\K]\n", 2, "not under"},
      {header + "[HKEY_LOCAL_MACHINE\\K\n", 2, "end with ']'"},
      {header + "[HKEY_LOCAL_MACHINE\\a\\\\b]\n", 2, "empty key name"},
      {header + "[HKEY_LOCAL_MACHINE\\a\\]\n", 2, "empty key name"},
      {header + "[-HKEY_LOCAL_MACHINE\\K]\n", 2, "deletions"},
      {key + "\"v\"=-\n", 3, "deletions"},
      {key + "\"v\"=\"open\n", 3, "no closing"},
      {key + "\"v=\"x\"\n", 3, "expected '='"},
      {key + "\"v\"=\"a\\nb\"\n", 3, "unknown escape"},
      {key + "\"v\"=\"x\" y\n", 3, "text after"},
      {key + "\"v\"=dword:\n", 3, "one to eight hex digits"},
      {key + "\"v\"=dword:123456789\n", 3, "one to eight hex digits"},
      {key + "\"v\"=dword:12g4\n", 3, "one to eight hex digits"},
      {key + "\"v\"=hex:1,02\n", 3, "two hex digits"},
      {key + "\"v\"=hex(x):01\n", 3, "hex(N)"},
      {key + "\"v\"=hex:01,\\\n  02,\\\n", 4, "past the end"},
      {key + "\"v\"=qword:1\n", 3, "unknown value type"},
      {key + "v=\"x\"\n", 3, "not a key, a value or a comment"},
      {key + "\"v\"=\"a\x01\"\n", 3, "control character"},
      {key + "\"v\"=\"\xC3\x28\"\n", 3, "invalid UTF-8"},
      {"\xFF\xFE" +
           Utf16ToLeBytes(
               u"Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"") +
           std::string("\x00\xD8", 2),
       3, "lone surrogate"},
  };
  for (const auto& c : cases) {
    RegistryDocument document;
    RegistryParseError error;
    EXPECT_FALSE(ParseRegistryText(c.text, &document, &error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_NE(error.message.find(c.message), std::string::npos)
        << c.text << " -> " << error.message;
  }
}

// A file cut short at any byte either reads (a cut between lines) or is
// refused with a line that lies in the file; what reads writes back into a
// file that reads the same.
TEST(RegistryText, FileCutAtEveryLength) {
  const std::string full = FULL_FILE;
  for (std::size_t length = 0; length < full.size(); ++length) {
    const std::string cut = full.substr(0, length);
    RegistryDocument document;
    RegistryParseError error;
    if (!ParseRegistryText(cut, &document, &error)) {
      const int lines = 1 + static_cast<int>(std::count(cut.begin(), cut.end(), '\n'));
      EXPECT_GE(error.line, 1) << length;
      EXPECT_LE(error.line, lines) << length;
      continue;
    }
    const std::string written = FormatRegistryText(document);
    RegistryDocument again;
    ASSERT_TRUE(ParseRegistryText(written, &again, &error)) << length << ": " << error.message;
    EXPECT_EQ(FormatRegistryText(again), written) << length;
  }
}

TEST(RegistryNames, CompareWithoutCase) {
  const struct {
    const char *a, *b;
    bool equal;
  } cases[] = {
      {"Software", "SOFTWARE", true},
      {"IsPatching", "ispatching", true},
      {"Ärger", "äRGER", true},
      {"Ωμέγα", "ΩΜΈΓΑ", true},
      {"Привет", "ПРИВЕТ", true},
      {"Ёлка", "ёлка", true},
      {"Łódź", "łÓDŹ", true},
      {"Ÿ", "ÿ", true},
      {"a", "b", false},
      {"Straße", "STRASSE", false},
      {"İ", "i", false},
      {"×", "÷", false},
      {"Omvel", "Omvel ", false},
      {"", "", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RegistryNamesEqual(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

TEST(RegistryNames, SplitPaths) {
  const struct {
    const char* path;
    bool ok;
    std::size_t names;
  } cases[] = {
      {"", true, 0},
      {"Software", true, 1},
      {"SOFTWARE\\Omvel\\Products\\", true, 3},
      {"\\Software", false, 0},
      {"a\\\\b", false, 0},
      {"a\\\\", false, 0},
      {"\\", false, 0},
      {"a\nb", false, 0},
      {"a/b", true, 1},
  };
  for (const auto& c : cases) {
    RegistryNames names;
    EXPECT_EQ(SplitRegistryPath(c.path, false, &names), c.ok) << c.path;
    if (c.ok) {
      EXPECT_EQ(names.size(), c.names) << c.path;
    }
  }
  RegistryNames names;
  EXPECT_TRUE(SplitRegistryPath(std::string(255, 'k'), true, &names));
  EXPECT_FALSE(SplitRegistryPath(std::string(256, 'k'), true, &names));
  EXPECT_TRUE(SplitRegistryPath(std::string(256, 'k'), false, &names));
}

}  // namespace

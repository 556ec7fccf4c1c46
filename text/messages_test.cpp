#include "text/messages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "foundation/utf.h"
#include "text/message_table.h"

namespace {

constexpr std::uint16_t MESSAGES_LANGUAGES[] = {MESSAGE_LANGUAGE_ENGLISH, MESSAGE_LANGUAGE_GERMAN,
                                                MESSAGE_LANGUAGE_FRENCH, MESSAGE_LANGUAGE_RUSSIAN};

// Sets or unsets the four locale variables and restores them afterwards.
class ScopedLocaleEnvironment {
 public:
  ScopedLocaleEnvironment(const char* language, const char* lcAll, const char* lcMessages,
                          const char* lang) {
    const char* values[] = {language, lcAll, lcMessages, lang};
    for (int i = 0; i < 4; ++i) {
      const char* old = std::getenv(NAMES[i]);
      m_saved[i] = old ? std::optional<std::string>(old) : std::nullopt;
      Set(NAMES[i], values[i]);
    }
  }
  ~ScopedLocaleEnvironment() {
    for (int i = 0; i < 4; ++i) Set(NAMES[i], m_saved[i] ? m_saved[i]->c_str() : nullptr);
  }
  ScopedLocaleEnvironment(const ScopedLocaleEnvironment&) = delete;
  ScopedLocaleEnvironment& operator=(const ScopedLocaleEnvironment&) = delete;

 private:
  static constexpr const char* NAMES[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  static void Set(const char* name, const char* value) {
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  std::optional<std::string> m_saved[4];
};

class Messages : public testing::Test {
 protected:
  void TearDown() override { SetMessageLanguage(MESSAGE_LANGUAGE_USER); }

  static std::string In(std::uint16_t language, int id) {
    SetMessageLanguage(language);
    return LoadMessage(id);
  }
};

TEST_F(Messages, LanguageStartsAsTheUsersAndIsProcessWide) {
  EXPECT_EQ(GetMessageLanguage(), MESSAGE_LANGUAGE_USER);
  SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
  EXPECT_EQ(GetMessageLanguage(), MESSAGE_LANGUAGE_ENGLISH);
}

// Each language holds exactly the ids of the English table; German lacks 233.
// This covers the absent entries inside present blocks (112 to 120, 133, 155,
// 156, 182, 183, 186, 245 to 254) and ids outside the catalogue's range.
TEST_F(Messages, EveryLanguageHoldsExactlyTheNamedIds) {
  std::set<int> named;
#define MESSAGES_COLLECT(name, id) named.insert(id);
  OMVEL_MESSAGE_IDS(MESSAGES_COLLECT)
#undef MESSAGES_COLLECT
  ASSERT_EQ(named.size(), 119u);
  std::vector<int> probes = {-121, -1, 0xFFFF, 0x10000 + 121, 0x10000 + 255};
  for (int id = 0; id <= 300; ++id) probes.push_back(id);
  for (std::uint16_t language : MESSAGES_LANGUAGES) {
    for (int id : probes) {
      const bool expected =
          named.contains(id) && !(language == MESSAGE_LANGUAGE_GERMAN && id == 233);
      SCOPED_TRACE(testing::Message() << "language " << language << ", id " << id);
      EXPECT_EQ(!In(language, id).empty(), expected);
    }
  }
}

TEST_F(Messages, GermanHasNoText233) {
  EXPECT_EQ(In(MESSAGE_LANGUAGE_GERMAN, MSG_UNKNOWN_PATCH_ERROR), "");
  EXPECT_EQ(In(MESSAGE_LANGUAGE_ENGLISH, MSG_UNKNOWN_PATCH_ERROR),
            "An unknown error (%d) occurred while patching file %s");
}

TEST_F(Messages, UnknownLanguageHasNoTextsAndNoFallback) {
  EXPECT_EQ(In(1033, MSG_PATCHING_INSTALL), "");
  EXPECT_EQ(In(1041, MSG_PRINT_USAGE), "");
}

TEST_F(Messages, TextsIdenticalToEnglishInOtherLanguages) {
  const std::vector<int> shared = {176, 185, 211, 240, 241, 242, 243, 244, 255};
  struct Case {
    std::uint16_t language;
    std::vector<int> extra;
  };
  const Case cases[] = {{MESSAGE_LANGUAGE_GERMAN, {177}},
                        {MESSAGE_LANGUAGE_FRENCH, {177, 233}},
                        {MESSAGE_LANGUAGE_RUSSIAN, {151, 231, 233}}};
  for (const Case& c : cases) {
    std::vector<int> ids = shared;
    ids.insert(ids.end(), c.extra.begin(), c.extra.end());
    for (int id : ids) {
      SCOPED_TRACE(testing::Message() << "language " << c.language << ", id " << id);
      const std::string english = In(MESSAGE_LANGUAGE_ENGLISH, id);
      ASSERT_FALSE(english.empty());
      EXPECT_EQ(In(c.language, id), english);
    }
  }
}

TEST_F(Messages, TranslatedTextsAreExact) {
  struct Case {
    std::uint16_t language;
    int id;
    const char* text;
  };
  const Case cases[] = {
      {MESSAGE_LANGUAGE_FRENCH, MSG_INSUFFICIENT_PRIVILEGES,
       "L'utilisateur du compte Windows actuel n'a pas les droits nécessaires pour installer les "
       "mise "
       "à jour Kestro.\nVeuillez vous connecter avec le compte Administrateur et ré-essayer."},
      {MESSAGE_LANGUAGE_RUSSIAN, MSG_ERROR_CREATING_PROCESS,
       "ОШибка при создании процесса. Код ошибки: "},
      {MESSAGE_LANGUAGE_RUSSIAN, MSG_FAILED_READ_SERVER_LIST, "Ошибка чтения списка серверов с"},
      {MESSAGE_LANGUAGE_GERMAN, MSG_FAILED_READ_SERVER_LIST,
       "Konnte die Serverliste aus folgender Datei nicht einlesen: "},
      {MESSAGE_LANGUAGE_FRENCH, MSG_CURRENT_VERSION, "Version actuelle : %s."},
      {MESSAGE_LANGUAGE_GERMAN, MSG_PATCHING_INSTALL, "Patche Installation:"},
      {MESSAGE_LANGUAGE_RUSSIAN, MSG_PATCHING_INSTALL, "Обновление:"},
      {MESSAGE_LANGUAGE_ENGLISH, MSG_TO, " to "},
      {MESSAGE_LANGUAGE_ENGLISH, MSG_MANUAL_PATCH_PATH, "ManualPatchPath:      "},
      {MESSAGE_LANGUAGE_ENGLISH, MSG_FAILED_APPLY_PATCH, "\nFailed to apply the patch: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "language " << c.language << ", id " << c.id);
    EXPECT_EQ(In(c.language, c.id), c.text);
  }
}

TEST_F(Messages, LongestTextLoadsWholeIntoTheBufferWithTerminator) {
  const std::u16string expected =
      u"Either the current Windows user account does not have sufficient privileges to install the "
      u"patch or the Kestro files are in use.\nPlease login with Administrative access, ensure "
      u"that all "
      u"instances of Kestro are closed, and try again.";
  ASSERT_EQ(expected.size(), 232u);
  SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
  EXPECT_EQ(Utf8ToUtf16(LoadMessage(MSG_INSUFFICIENT_PRIVILEGES)), expected);

  char16_t buffer[MESSAGE_BUFFER_UNITS + 1];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(LoadMessageInto(MSG_INSUFFICIENT_PRIVILEGES, buffer), buffer);
  EXPECT_EQ(std::u16string_view(buffer, 232), expected);
  EXPECT_EQ(buffer[232], u'\0');
  EXPECT_EQ(buffer[233], u'#');

  std::fill(std::begin(buffer), std::end(buffer), u'#');
  SetMessageLanguage(MESSAGE_LANGUAGE_GERMAN);
  EXPECT_EQ(LoadMessageInto(MSG_UNKNOWN_PATCH_ERROR, buffer), buffer);
  EXPECT_EQ(buffer[0], u'\0');
  EXPECT_EQ(buffer[1], u'#');

  SetMessageLanguage(MESSAGE_LANGUAGE_RUSSIAN);
  EXPECT_EQ(std::u16string(LoadMessageInto(MSG_PATCHING_INSTALL, buffer)), u"Обновление:");
}

TEST_F(Messages, UserLanguageAppliesUntilEnglishIsSet) {
  ScopedLocaleEnvironment environment("", nullptr, "fr_FR.UTF-8", "de_DE.UTF-8");
  EXPECT_EQ(LoadMessage(MSG_PATCHING_INSTALL), "Mettre à jour l'installation :");
  SetMessageLanguage(MESSAGE_LANGUAGE_ENGLISH);
  EXPECT_EQ(LoadMessage(MSG_PATCHING_INSTALL), "Patching install:");

  SetMessageLanguage(MESSAGE_LANGUAGE_USER);
  ScopedLocaleEnvironment plain(nullptr, "C", nullptr, "ru_RU.UTF-8");
  EXPECT_EQ(LoadMessage(MSG_PATCHING_INSTALL), "Patching install:");
}

TEST(MessageLanguage, FromEnvironment) {
  struct Case {
    const char* language;
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    std::uint16_t expected;
  };
  const Case cases[] = {
      {"", "", "", "", MESSAGE_LANGUAGE_ENGLISH},
      {"", "", "", "de_DE.UTF-8", MESSAGE_LANGUAGE_GERMAN},
      {"", "", "fr_CA", "de_DE.UTF-8", MESSAGE_LANGUAGE_FRENCH},
      {"", "ru_RU.KOI8-R", "fr_CA", "de_DE.UTF-8", MESSAGE_LANGUAGE_RUSSIAN},
      {"fr:de", "ru_RU", "", "", MESSAGE_LANGUAGE_FRENCH},
      {"ru_UA:fr", "", "", "", MESSAGE_LANGUAGE_RUSSIAN},
      {":de", "fr_FR", "", "", MESSAGE_LANGUAGE_GERMAN},
      {":", "fr_FR", "", "", MESSAGE_LANGUAGE_FRENCH},
      {"en_GB:de", "", "", "de_DE", MESSAGE_LANGUAGE_ENGLISH},
      {"", "C", "", "de_DE", MESSAGE_LANGUAGE_ENGLISH},
      {"", "POSIX", "", "de_DE", MESSAGE_LANGUAGE_ENGLISH},
      {"", "", "", "C.UTF-8", MESSAGE_LANGUAGE_ENGLISH},
      {"", "", "", "en_US.UTF-8", MESSAGE_LANGUAGE_ENGLISH},
      {"", "", "", "ja_JP.UTF-8", MESSAGE_LANGUAGE_ENGLISH},
      {"", "", "", "de", MESSAGE_LANGUAGE_GERMAN},
      {"", "", "", "DE_at", MESSAGE_LANGUAGE_GERMAN},
      {"", "", "", "de@euro", MESSAGE_LANGUAGE_GERMAN},
      {"", "", "", "fr-BE", MESSAGE_LANGUAGE_FRENCH},
      {"", "", "", "dev_XX", MESSAGE_LANGUAGE_ENGLISH},
      {"", "", "", "frisian", MESSAGE_LANGUAGE_ENGLISH},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.language << " | " << c.lcAll << " | " << c.lcMessages << " | " << c.lang);
    EXPECT_EQ(UserMessageLanguage(c.language, c.lcAll, c.lcMessages, c.lang), c.expected);
  }
}

// The generated table: sorted for the lookup, and each text's two forms agree
// (which checks the generator's escaping of every character in the file).
TEST(MessageTable, SortedUniqueAndBothFormsAgree) {
  const auto table = MessageTableEntries();
  ASSERT_FALSE(table.empty());
  for (std::size_t i = 0; i < table.size(); ++i) {
    const MessageTableEntry& entry = table[i];
    SCOPED_TRACE(testing::Message() << "language " << entry.language << ", id " << entry.id);
    if (i > 0) {
      EXPECT_LT(std::pair(table[i - 1].language, table[i - 1].id),
                std::pair(entry.language, entry.id));
    }
    EXPECT_FALSE(entry.utf8.empty());
    EXPECT_LE(entry.utf16.size(), MESSAGE_BUFFER_UNITS - 1);
    EXPECT_EQ(Utf8ToUtf16(entry.utf8), entry.utf16);
  }
}

}  // namespace

#include "foundation/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/paths_test_support.h"
#include "foundation/registry_hive_file.h"

namespace {

const std::string HEADER = "Windows Registry Editor Version 5.00\n\n";
const char* const PRODUCTS = "SOFTWARE\\Omvel\\Products\\KestroSimulator";

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// A registry test child started with a pipe for standard input (closing
// `start` lets it begin) and one for its output.
struct Child {
  pid_t pid = -1;
  int start = -1;
  int output = -1;
};

Child StartChild(const std::vector<std::string>& args) {
  const std::string program = std::string(OMVEL_TESTCHILD_DIR) + "/registry_testchild";
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return {};
  Child child;
  child.pid = fork();
  if (child.pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  child.start = in[1];
  child.output = out[0];
  return child;
}

// Waits for the child; its exit status (-1 when it did not exit normally) and
// everything it printed.
int FinishChild(Child& child, std::string* output) {
  if (child.start >= 0) close(child.start);
  output->clear();
  char buffer[512];
  for (ssize_t n; (n = read(child.output, buffer, sizeof buffer)) > 0;) output->append(buffer, n);
  close(child.output);
  int status = 0;
  waitpid(child.pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv(REGISTRY_FILE_VARIABLE)) m_saved = old;
    m_file = m_dir.Sub("etc/omvel/registry.reg");
    setenv(REGISTRY_FILE_VARIABLE, m_file.c_str(), 1);
  }
  void TearDown() override {
    if (m_saved) {
      setenv(REGISTRY_FILE_VARIABLE, m_saved->c_str(), 1);
    } else {
      unsetenv(REGISTRY_FILE_VARIABLE);
    }
  }
  void WriteHive(const std::string& text) {
    std::filesystem::create_directories(m_dir.Sub("etc/omvel"));
    WriteTextFile(m_file, text);
  }
  std::set<std::string> FilesBeside() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Sub("etc/omvel"))) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  ScopedTempDir m_dir;
  std::string m_file;
  std::optional<std::string> m_saved;
};

TEST_F(Registry, QueriesStringValuesLikeA260ByteBuffer) {
  const std::string smile = "\xF0\x9F\x98\x80";  // one character, two UTF-16 units
  WriteHive(HEADER +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\{A}]\n"
            "\"ProductClass\"=\"Kestro\"\n"
            "\"Build\"=dword:00000065\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\{B}]\n"
            "\"ProductInstallPath\"=\"" +
            std::string(129, 'p') +
            "\"\n"
            "\"Long\"=\"" +
            std::string(130, 'p') +
            "\"\n"
            "\"Accents\"=\"" +
            Repeat("é", 129) +
            "\"\n"
            "\"WideFits\"=\"" +
            std::string(127, 'w') + smile +
            "\"\n"
            "\"WideLong\"=\"" +
            std::string(128, 'w') + smile +
            "\"\n"
            "@=\"default\"\n"
            "\"Escaped\"=\"a\\\\b\\\"c\"\n");
  const std::string a = std::string(PRODUCTS) + "\\{A}";
  const std::string b = std::string(PRODUCTS) + "\\{B}";
  const struct {
    std::string key, name;
    RegistryResult result;
    std::string text;
  } cases[] = {
      {a, "ProductClass", REGISTRY_OK, "Kestro"},
      {"software\\omvel\\PRODUCTS\\kestrosimulator\\{a}\\", "PRODUCTCLASS", REGISTRY_OK, "Kestro"},
      {a, "Build", REGISTRY_WRONG_TYPE, ""},
      {a, "Missing", REGISTRY_NOT_FOUND, ""},
      {a + "x", "ProductClass", REGISTRY_NOT_FOUND, ""},  // on opening
      {"\\" + a, "ProductClass", REGISTRY_INVALID_PARAMETER, ""},
      {b, "ProductInstallPath", REGISTRY_OK, std::string(129, 'p')},
      {b, "Long", REGISTRY_MORE_DATA, ""},
      {b, "Accents", REGISTRY_OK, Repeat("é", 129)},  // 258 bytes of UTF-8, 129 characters
      {b, "WideFits", REGISTRY_OK, std::string(127, 'w') + smile},
      {b, "WideLong", REGISTRY_MORE_DATA, ""},
      {b, "", REGISTRY_OK, "default"},
      {b, "Escaped", REGISTRY_OK, "a\\b\"c"},
  };
  for (const auto& c : cases) {
    RegistryKey key;
    RegistryResult result = RegistryKey::LocalMachine().OpenKey(c.key, REGISTRY_ACCESS_QUERY, &key);
    std::string text = "untouched";
    if (result == REGISTRY_OK) result = key.QueryStringValue(c.name, 260, &text);
    EXPECT_EQ(result, c.result) << c.key << " " << c.name;
    if (key.IsOpen()) {
      EXPECT_EQ(text, c.text) << c.key << " " << c.name;
    }
  }

  RegistryKey key;
  ASSERT_EQ(RegistryKey::LocalMachine().OpenKey(a, REGISTRY_ACCESS_QUERY, &key), REGISTRY_OK);
  std::uint32_t build = 7;
  EXPECT_EQ(key.QueryDwordValue("build", &build), REGISTRY_OK);
  EXPECT_EQ(build, 0x65u);
  EXPECT_EQ(key.QueryDwordValue("ProductClass", &build), REGISTRY_WRONG_TYPE);
  EXPECT_EQ(build, 0u);
}

TEST_F(Registry, EnumeratesSubkeysInFileOrderInto260Characters) {
  const std::string accents = Repeat("é", 259);  // 518 bytes, 259 characters
  WriteHive(HEADER + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\{B}]\n\n" +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\{A}]\n\n" +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\{b}\\Sub]\n\n" +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\{C}\\Sub]\n\n" +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\" + accents +
            "]\n\n" + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\" +
            std::string(260, 'k') + "]\n\n" + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n");
  RegistryKey products;
  ASSERT_EQ(RegistryKey::LocalMachine().OpenKey("SOFTWARE\\Omvel\\Products\\", REGISTRY_ACCESS_READ,
                                                &products),
            REGISTRY_OK);
  RegistryKey product;
  ASSERT_EQ(products.OpenKey("KestroSimulator", REGISTRY_ACCESS_ALL, &product), REGISTRY_OK);

  const struct {
    RegistryResult result;
    std::string name;
  } expected[] = {
      {REGISTRY_OK, "{B}"},         {REGISTRY_OK, "{A}"},
      {REGISTRY_OK, "{C}"},  // only named by the key below it
      {REGISTRY_OK, accents},       {REGISTRY_MORE_DATA, ""},
      {REGISTRY_NO_MORE_ITEMS, ""}, {REGISTRY_NO_MORE_ITEMS, ""},
  };
  for (std::uint32_t i = 0; i < std::size(expected); ++i) {
    std::string name = "untouched";
    EXPECT_EQ(product.EnumerateSubkey(i, 260, &name), expected[i].result) << i;
    EXPECT_EQ(name, expected[i].name) << i;
  }
  std::string name;
  EXPECT_EQ(product.EnumerateSubkey(4, 261, &name), REGISTRY_OK);
  EXPECT_EQ(name, std::string(260, 'k'));
}

TEST_F(Registry, CreatingAKeyCreatesTheFileAndItsDirectory) {
  RegistryKey key;
  EXPECT_EQ(RegistryKey::LocalMachine().OpenKey("Software\\Omvel", REGISTRY_ACCESS_READ, &key),
            REGISTRY_NOT_FOUND);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(m_dir.Sub("etc"))) << "a read made the directory";

  bool created = false;
  ASSERT_EQ(RegistryKey::LocalMachine().CreateKey("Software\\Omvel", 0, &key, &created),
            REGISTRY_OK);
  EXPECT_TRUE(created);
  EXPECT_EQ(ReadTextFile(m_file), HEADER + "[HKEY_LOCAL_MACHINE\\Software\\Omvel]\n\n");
  ASSERT_EQ(RegistryKey::LocalMachine().CreateKey("SOFTWARE\\omvel", 0, &key, &created),
            REGISTRY_OK);
  EXPECT_FALSE(created);
  EXPECT_EQ(key.Path(), "Software\\Omvel");
  EXPECT_EQ(RegistryKey::LocalMachine().OpenKey("Software\\Omvel", REGISTRY_ACCESS_WRITE, &key),
            REGISTRY_OK);
  EXPECT_EQ(FilesBeside(), (std::set<std::string>{"registry.reg", "registry.reg.lock"}));

  EXPECT_EQ(RegistryKey::LocalMachine().CreateKey(std::string(256, 'k'), 0, &key),
            REGISTRY_INVALID_PARAMETER);
  EXPECT_EQ(RegistryKey::LocalMachine().CreateKey("a\\\\b", 0, &key), REGISTRY_INVALID_PARAMETER);
}

TEST_F(Registry, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith) {
  RegistryKey omvel, product;
  ASSERT_EQ(RegistryKey::LocalMachine().CreateKey("Software\\Omvel", 0, &omvel), REGISTRY_OK);
  ASSERT_EQ(RegistryKey::LocalMachine().CreateKey("SOFTWARE\\OMVEL\\Products\\KestroSimulator",
                                                  REGISTRY_ACCESS_ALL, &product),
            REGISTRY_OK);
  EXPECT_EQ(product.Path(), "Software\\Omvel\\Products\\KestroSimulator");

  EXPECT_EQ(product.SetDwordValue("IsPatching", 1), REGISTRY_OK);
  EXPECT_EQ(product.SetDwordValue("ISPATCHING", 2), REGISTRY_OK);
  EXPECT_EQ(product.SetStringValue("Straße", "x"), REGISTRY_OK);
  EXPECT_EQ(product.SetStringValue("STRAßE", "y"), REGISTRY_OK);
  std::uint32_t flag = 0;
  EXPECT_EQ(product.QueryDwordValue("ispatching", &flag), REGISTRY_OK);
  EXPECT_EQ(flag, 2u);
  const std::string section =
      "[HKEY_LOCAL_MACHINE\\Software\\Omvel]\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Omvel\\Products\\KestroSimulator]\n";
  EXPECT_EQ(ReadTextFile(m_file),
            HEADER + section + "\"IsPatching\"=dword:00000002\n\"Straße\"=\"y\"\n\n");

  EXPECT_EQ(product.DeleteValue("isPATCHING"), REGISTRY_OK);
  EXPECT_EQ(product.DeleteValue("IsPatching"), REGISTRY_NOT_FOUND);
  EXPECT_EQ(product.QueryDwordValue("IsPatching", &flag), REGISTRY_NOT_FOUND);
  EXPECT_EQ(ReadTextFile(m_file), HEADER + section + "\"Straße\"=\"y\"\n\n");
}

TEST_F(Registry, OperationsNeedTheRightsTheKeyWasOpenedWith) {
  WriteHive(HEADER + "[HKEY_LOCAL_MACHINE\\Software\\Omvel\\Sub]\n\"v\"=\"x\"\n");
  const RegistryKey machine = RegistryKey::LocalMachine();
  RegistryKey query, read, write, sub;
  ASSERT_EQ(machine.OpenKey("Software\\Omvel", REGISTRY_ACCESS_QUERY, &query), REGISTRY_OK);
  ASSERT_EQ(machine.OpenKey("Software\\Omvel", REGISTRY_ACCESS_READ, &read), REGISTRY_OK);
  ASSERT_EQ(machine.OpenKey("Software\\Omvel\\Sub", REGISTRY_ACCESS_WRITE, &write), REGISTRY_OK);
  std::string text;
  EXPECT_EQ(query.EnumerateSubkey(0, 260, &text), REGISTRY_ACCESS_DENIED);
  EXPECT_EQ(read.EnumerateSubkey(0, 260, &text), REGISTRY_OK);
  EXPECT_EQ(read.SetDwordValue("v", 1), REGISTRY_ACCESS_DENIED);
  EXPECT_EQ(read.DeleteValue("v"), REGISTRY_ACCESS_DENIED);
  EXPECT_EQ(read.CreateKey("New", 0, &sub), REGISTRY_ACCESS_DENIED);
  EXPECT_EQ(read.CreateKey("sub", REGISTRY_ACCESS_QUERY, &sub), REGISTRY_OK) << "exists: opens";
  EXPECT_EQ(write.QueryStringValue("v", 260, &text), REGISTRY_ACCESS_DENIED);
  EXPECT_EQ(write.SetStringValue("v", "line\nbreak"), REGISTRY_INVALID_PARAMETER);
  EXPECT_EQ(write.SetStringValue("v\x01", "x"), REGISTRY_INVALID_PARAMETER);
  write.Close();
  EXPECT_EQ(write.SetDwordValue("v", 1), REGISTRY_INVALID_HANDLE);
  EXPECT_EQ(RegistryKey().OpenKey("", REGISTRY_ACCESS_READ, &sub), REGISTRY_INVALID_HANDLE);
  EXPECT_EQ(ReadTextFile(m_file),
            HEADER + "[HKEY_LOCAL_MACHINE\\Software\\Omvel\\Sub]\n\"v\"=\"x\"\n");
}

TEST_F(Registry, AKeyRemovedFromTheFileIsDeletedForItsOpenHandles) {
  WriteHive(HEADER + "[HKEY_LOCAL_MACHINE\\Software\\Omvel]\n\"v\"=\"x\"\n");
  RegistryKey key;
  ASSERT_EQ(RegistryKey::LocalMachine().OpenKey("Software\\Omvel", REGISTRY_ACCESS_ALL, &key),
            REGISTRY_OK);
  const std::string other = HEADER + "[HKEY_LOCAL_MACHINE\\Software\\Other]\n";
  WriteHive(other);
  std::string text;
  EXPECT_EQ(key.QueryStringValue("v", 260, &text), REGISTRY_KEY_DELETED);
  EXPECT_EQ(key.SetDwordValue("IsPatching", 1), REGISTRY_KEY_DELETED);
  RegistryKey sub;
  EXPECT_EQ(key.CreateKey("Sub", 0, &sub), REGISTRY_KEY_DELETED);
  EXPECT_EQ(key.OpenKey("", REGISTRY_ACCESS_READ, &key), REGISTRY_KEY_DELETED);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(ReadTextFile(m_file), other);
}

TEST_F(Registry, WritesKeepTheRestOfTheFileItsModeAndItsLink) {
  const std::string original =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "; kept\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator]\r\n"
      "\"Blob\"=hex:01,\\\r\n  02\r\n"
      "; inside\r\n"
      "\"ProductClass\"=\"Kestro\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\r\n";
  std::filesystem::create_directories(m_dir.Sub("etc/omvel"));
  WriteTextFile(m_dir.Sub("etc/omvel/real.reg"), original);
  chmod(m_dir.Sub("etc/omvel/real.reg").c_str(), 0640);
  std::filesystem::create_symlink("real.reg", m_file);

  RegistryKey product;
  ASSERT_EQ(RegistryKey::LocalMachine().OpenKey(PRODUCTS, REGISTRY_ACCESS_ALL, &product),
            REGISTRY_OK);
  EXPECT_EQ(product.SetDwordValue("IsPatching", 1), REGISTRY_OK);
  std::string expected = original;
  const std::string after = "\"ProductClass\"=\"Kestro\"\r\n";
  expected.insert(expected.find(after) + after.size(), "\"IsPatching\"=dword:00000001\r\n");
  EXPECT_EQ(ReadTextFile(m_file), expected);

  RegistryKey created;
  ASSERT_EQ(product.CreateKey("{1}", REGISTRY_ACCESS_WRITE, &created), REGISTRY_OK);
  expected.insert(expected.find("[HKEY_LOCAL_MACHINE\\Software\\Other]"),
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator\\{1}]\r\n\r\n");
  EXPECT_EQ(ReadTextFile(m_file), expected);

  EXPECT_TRUE(std::filesystem::is_symlink(m_file));
  struct stat st;
  ASSERT_EQ(stat(m_file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(FilesBeside(), (std::set<std::string>{"registry.reg", "real.reg", "real.reg.lock"}));
}

TEST_F(Registry, MalformedFileIsReportedAndNeverWritten) {
  WriteHive(HEADER + "[HKEY_LOCAL_MACHINE\\Software\\Omvel]\n\"v\"=\"x\"\n");
  RegistryKey key;
  ASSERT_EQ(RegistryKey::LocalMachine().OpenKey("Software\\Omvel", REGISTRY_ACCESS_ALL, &key),
            REGISTRY_OK);
  const std::string broken = HEADER + "[HKEY_LOCAL_MACHINE\\Software\\Omvel]\n\"v\"=\"x\n";
  WriteHive(broken);

  StdoutCapture capture(m_dir.Sub("log.txt"));
  RegistryKey other;
  EXPECT_EQ(RegistryKey::LocalMachine().OpenKey("Software\\Omvel", REGISTRY_ACCESS_READ, &other),
            REGISTRY_CORRUPT);
  EXPECT_EQ(key.SetDwordValue("IsPatching", 1), REGISTRY_CORRUPT);
  EXPECT_EQ(RegistryKey::LocalMachine().CreateKey("Software\\New", 0, &other), REGISTRY_CORRUPT);
  std::string value = "default";
  EXPECT_FALSE(ReadMachineString("Software\\Omvel", "v", &value));
  EXPECT_EQ(value, "default");
  const std::string log = capture.Finish();

  EXPECT_EQ(ReadTextFile(m_file), broken);
  EXPECT_NE(log.find("registry.reg:4: a quoted text has no closing"), std::string::npos) << log;
}

TEST_F(Registry, ReadMachineStringReadsOptionalValuesOfAnyLength) {
  const std::string url = "http://127.0.0.1:8080/" + std::string(300, 'u');
  WriteHive(HEADER + "[HKEY_LOCAL_MACHINE\\Software\\Omvel]\n\"PatcherPageURL\"=\"" + url +
            "\"\n\"RepairServer\"=dword:00000001\n");
  const struct {
    const char *key, *name;
    bool found;
    std::string value;
  } cases[] = {
      {"Software\\Omvel", "PatcherPageURL", true, url},
      {"SOFTWARE\\OMVEL", "patcherpageurl", true, url},
      {"Software\\Omvel", "RepairServer", false, "default"},  // not a string
      {"Software\\Omvel", "Missing", false, "default"},
      {"Software\\Nothing", "PatcherPageURL", false, "default"},
  };
  for (const auto& c : cases) {
    std::string value = "default";
    EXPECT_EQ(ReadMachineString(c.key, c.name, &value), c.found) << c.key << " " << c.name;
    EXPECT_EQ(value, c.value) << c.key << " " << c.name;
  }
}

// What another user sees: run as root, the child drops to user 65534 and the
// files stay root's; otherwise the child is this user and the modes take the
// write bits away. Opening for reading and the rights-less create of an
// existing key always work; writing needs both the file and its directory.
TEST_F(Registry, UserWhoCannotWriteTheFileCannotOpenAKeyForWriting) {
  const bool root = geteuid() == 0;
  const struct {
    bool file, file_writable, directory_writable;
    RegistryResult read, create, write;
  } cases[] = {
      {true, false, false, REGISTRY_OK, REGISTRY_OK, REGISTRY_ACCESS_DENIED},
      {true, true, false, REGISTRY_OK, REGISTRY_OK, REGISTRY_ACCESS_DENIED},
      {true, false, true, REGISTRY_OK, REGISTRY_OK, REGISTRY_ACCESS_DENIED},
      {true, true, true, REGISTRY_OK, REGISTRY_OK, REGISTRY_OK},
      {false, false, false, REGISTRY_NOT_FOUND, REGISTRY_ACCESS_DENIED, REGISTRY_NOT_FOUND},
      {false, false, true, REGISTRY_NOT_FOUND, REGISTRY_OK, REGISTRY_OK},
  };
  chmod(m_dir.path().c_str(), 0755);  // let user 65534 reach the files
  const std::string content = HEADER + "[HKEY_LOCAL_MACHINE\\Software\\Omvel]\n\n";
  int index = 0;
  for (const auto& c : cases) {
    const std::string directory = m_dir.Sub("case" + std::to_string(index++));
    const std::string file = directory + "/registry.reg";
    std::filesystem::create_directories(directory);
    if (c.file) {
      WriteTextFile(file, content);
      chmod(file.c_str(), c.file_writable ? (root ? 0666 : 0644) : (root ? 0644 : 0444));
    }
    chmod(directory.c_str(), c.directory_writable ? (root ? 0777 : 0755) : (root ? 0755 : 0555));

    Child child = StartChild({"access", file});
    std::string output;
    EXPECT_EQ(FinishChild(child, &output), 0) << output;
    char expected[64];
    std::snprintf(expected, sizeof expected, "read=%u create=%u write=%u\n", c.read, c.create,
                  c.write);
    EXPECT_EQ(output, expected) << "case " << index - 1;
    if (c.file) {
      EXPECT_EQ(ReadTextFile(file), content) << "case " << index - 1;
    } else {
      EXPECT_EQ(std::filesystem::exists(file), c.create == REGISTRY_OK) << "case " << index - 1;
    }
    chmod(directory.c_str(), 0755);
  }
}

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int COUNT = 40;
  Child first = StartChild({"writer", m_file, "first", std::to_string(COUNT)});
  Child second = StartChild({"writer", m_file, "second", std::to_string(COUNT)});
  ASSERT_GT(first.pid, 0);
  ASSERT_GT(second.pid, 0);
  close(first.start);  // both are waiting: let them go together
  close(second.start);
  first.start = second.start = -1;
  std::string output;
  EXPECT_EQ(FinishChild(first, &output), 0) << output;
  EXPECT_EQ(FinishChild(second, &output), 0) << output;

  RegistryKey writers;
  ASSERT_EQ(
      RegistryKey::LocalMachine().OpenKey("Software\\Writers", REGISTRY_ACCESS_READ, &writers),
      REGISTRY_OK);
  std::set<std::string> subkeys;
  std::string name;
  for (std::uint32_t i = 0; writers.EnumerateSubkey(i, 260, &name) == REGISTRY_OK; ++i) {
    subkeys.insert(name);
  }
  EXPECT_EQ(subkeys.size(), 2u * COUNT);
  for (const char* writer : {"first", "second"}) {
    for (int i = 0; i < COUNT; ++i) {
      const std::string item = std::string(writer) + "-" + std::to_string(i);
      std::uint32_t value = 12345;
      EXPECT_EQ(writers.QueryDwordValue(item, &value), REGISTRY_OK) << item;
      EXPECT_EQ(value, static_cast<std::uint32_t>(i)) << item;
      EXPECT_EQ(subkeys.count(item), 1u) << item;
    }
  }
}

}  // namespace

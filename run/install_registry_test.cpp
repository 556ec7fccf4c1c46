#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/child_process.h"
#include "foundation/paths_test_support.h"
#include "foundation/registry.h"
#include "run/environment_checks.h"
#include "run/install_locator.h"
#include "run/patching_flag.h"
#include "run/run_test_support.h"

namespace BramPatch {
namespace {

namespace fs = std::filesystem;

// A machine hive of its own for each test.
class RegistryTest : public testing::Test {
 protected:
  void WriteHive(const std::string& body) {
    std::ofstream(m_file) << "Windows Registry Editor Version 5.00\n\n" << body;
  }
  ScopedTempDir m_temp;
  const std::string m_dir = m_temp.path();
  const std::string m_file = m_dir + "/registry.reg";
  ScopedEnvironment m_registry{"OMVEL_REGISTRY", m_file};
  ScopedEnvironment m_tempVariable{"TEMP", m_dir + "/temp"};
};

const std::string PRODUCTS = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\KestroSimulator";

std::string Registration(const std::string& name, const std::string& productClass,
                         const std::string& path) {
  return PRODUCTS + "\\" + name + "]\n\"ProductClass\"=\"" + productClass +
         "\"\n\"ProductInstallPath\"=\"" + path + "\"\n\n";
}

TEST_F(RegistryTest, FindInstallPathTakesTheLastMatchingRegistration) {
  const std::string longPath = "/" + std::string(129, 'x');  // 130 characters: not read
  const struct {
    const char* name;
    std::string hive;
    std::string expected;
  } cases[] = {
      {"no product key", "", ""},
      {"one", Registration("A", "Kestro", "/games/a"), "/games/a"},
      {"last wins",
       Registration("A", "Kestro", "/games/a") + Registration("B", "Kestro", "/games/b"),
       "/games/b"},
      {"class ignores case", Registration("A", "KESTRO", "/games/a"), "/games/a"},
      {"other class", Registration("A", "Dravix", "/games/a"), ""},
      {"empty path keeps the earlier answer",
       Registration("A", "Kestro", "/games/a") + Registration("B", "Kestro", ""), "/games/a"},
      {"over-long path keeps the earlier answer",
       Registration("A", "Kestro", "/games/a") + Registration("B", "Kestro", longPath), "/games/a"},
      {"129 characters are read", Registration("A", "Kestro", longPath.substr(1)),
       longPath.substr(1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteHive(c.hive);
    EXPECT_EQ(FindInstallPath("KestroSimulator", "Kestro"), c.expected);
  }
  WriteHive(Registration("A", "Dravix", "/games/a"));
  EXPECT_EQ(FindInstallPath("KestroSimulator", ""), "/games/a");  // any class
}

TEST_F(RegistryTest, PatchingFlagNeedsTheProductKey) {
  EXPECT_FALSE(SetPatchingFlag());
  WriteHive(PRODUCTS + "]\n\n");
  ASSERT_TRUE(SetPatchingFlag());
  std::uint32_t value = 0;
  RegistryKey key;
  ASSERT_EQ(RegistryKey::LocalMachine().OpenKey("Software\\Omvel\\Products\\KestroSimulator",
                                                REGISTRY_ACCESS_READ, &key),
            REGISTRY_OK);
  EXPECT_EQ(key.QueryDwordValue("IsPatching", &value), REGISTRY_OK);
  EXPECT_EQ(value, 1u);
  ASSERT_TRUE(ClearPatchingFlag());
  key = RegistryKey();
  RegistryKey::LocalMachine().OpenKey("Software\\Omvel\\Products\\KestroSimulator",
                                      REGISTRY_ACCESS_READ, &key);
  EXPECT_NE(key.QueryDwordValue("IsPatching", &value), REGISTRY_OK);
}

TEST_F(RegistryTest, WriteAccessCreatesTheMakerKeyAndTestsTheProductExecutable) {
  const std::string install = m_dir + "/Kestro";
  fs::create_directories(install + "/bin");
  EXPECT_TRUE(CheckWriteAccess(install));  // no bin/Kestro.exe: passes
  EXPECT_TRUE(fs::is_directory(m_dir + "/temp"));
  RegistryKey key;
  EXPECT_EQ(RegistryKey::LocalMachine().OpenKey("Software\\Omvel", REGISTRY_ACCESS_READ, &key),
            REGISTRY_OK);

  // A running product cannot be opened for writing.
  fs::copy_file("/bin/sleep", install + "/bin/Kestro.exe");
  EXPECT_TRUE(CheckWriteAccess(install));
  ChildProcess* product = StartChildProcess(install + "/bin/Kestro.exe", "30");
  ASSERT_NE(product, nullptr);
  EXPECT_FALSE(CheckWriteAccess(install));
  KillChild(product);
  WaitChild(product, CHILD_WAIT_INFINITE);
  CloseChild(product);
  delete product;
  EXPECT_TRUE(CheckWriteAccess(install));

  // T that cannot be made.
  std::ofstream(m_dir + "/blocker") << "x";
  ScopedEnvironment blockedTemp("TEMP", m_dir + "/blocker/temp");
  EXPECT_FALSE(CheckWriteAccess(install));
}

}  // namespace
}  // namespace BramPatch

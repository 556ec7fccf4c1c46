// omvel-patchkit sample, run as the real program beside the product's
// programs in the build's bin/ folder.
#include "tools/patchkit_sample.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "engine/patch_test_support.h"
#include "foundation/registry.h"
#include "tools/patchkit_sample_tree.h"
#include "tools/patchkit_sample_uninstall_log.h"

namespace BramPatch {
namespace {

namespace fs = std::filesystem;

const std::string PATCHKIT_PROGRAM = std::string(OMVEL_BIN_DIR) + "/omvel-patchkit";

struct PatchkitRun {
  int m_exit = -1;
  std::string m_output;
};

PatchkitRun RunPatchkit(const std::vector<std::string>& args,
                        const std::string& program = PATCHKIT_PROGRAM) {
  PatchkitRun run;
  run.m_exit = RunProgram(program, args, &run.m_output);
  return run;
}

std::uint32_t Crc(std::string_view data) {
  return static_cast<std::uint32_t>(
      crc32_z(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

// The relative paths of the files (not folders) of a tree.
std::set<std::string> FilesOf(const Tree& tree) {
  std::set<std::string> files;
  for (const auto& [path, contents] : tree) {
    if (contents != TREE_DIRECTORY) files.insert(path);
  }
  return files;
}

// An uninstaller log taken apart, every block checked on the way.
struct ParsedLog {
  bool m_valid = false;
  std::string m_why;
  std::uint32_t m_records = 0;  // header field
  std::uint32_t m_endOffset = 0;
  std::string m_data;           // the blocks' data, concatenated
  std::size_t m_lastBlock = 0;  // data bytes of the last block
  std::size_t m_parsedRecords = 0;
};

ParsedLog ParseLog(const std::string& log) {
  ParsedLog parsed;
  auto fail = [&](const std::string& why) {
    parsed.m_why = why;
    return parsed;
  };
  if (log.size() < UNINSTALL_LOG_HEADER_SIZE) return fail("short header");
  if (LoadLe32(log.data() + UNINSTALL_LOG_HEADER_CRC) !=
      Crc(std::string_view(log).substr(0, UNINSTALL_LOG_HEADER_CRC))) {
    return fail("header CRC");
  }
  parsed.m_records = LoadLe32(log.data() + UNINSTALL_LOG_HEADER_RECORDS);
  parsed.m_endOffset = LoadLe32(log.data() + UNINSTALL_LOG_HEADER_END);
  for (std::size_t at = UNINSTALL_LOG_HEADER_SIZE; at < log.size();) {
    if (log.size() - at < UNINSTALL_LOG_BLOCK_HEADER_SIZE) return fail("cut block header");
    const std::uint32_t size = LoadLe32(log.data() + at);
    if (LoadLe32(log.data() + at + 4) != ~size) return fail("size complement");
    if (size > UNINSTALL_LOG_BLOCK_DATA_SIZE || log.size() - at - 12 < size) {
      return fail("block size");
    }
    const std::string_view data = std::string_view(log).substr(at + 12, size);
    if (LoadLe32(log.data() + at + 8) != Crc(data)) return fail("block CRC");
    at += 12 + size;
    if (size < UNINSTALL_LOG_BLOCK_DATA_SIZE && at != log.size()) return fail("short inner block");
    parsed.m_data += data;
    parsed.m_lastBlock = size;
  }
  // Records: u16 type, u32 extra data, u32 data size, the data.
  for (std::size_t at = 0; at < parsed.m_data.size(); ++parsed.m_parsedRecords) {
    if (parsed.m_data.size() - at < 10) return fail("cut record header");
    const std::uint32_t size = LoadLe32(parsed.m_data.data() + at + 6);
    if (parsed.m_data.size() - at - 10 < size) return fail("cut record");
    at += 10 + size;
  }
  parsed.m_valid = true;
  return parsed;
}

class SampleTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("OMVEL_REGISTRY", Registry().c_str(), 1); }
  void TearDown() override { unsetenv("OMVEL_REGISTRY"); }

  std::string Sub(const std::string& relative) const { return m_work.Sub(relative); }
  std::string Registry() const { return m_work.Sub("registry.reg"); }

  // A sample of `build` in Sub(name); returns its tree.
  Tree MakeSample(const std::string& name, const std::string& build) {
    PatchkitRun run = RunPatchkit({"sample", Sub(name), "--build", build});
    EXPECT_EQ(run.m_exit, 0) << run.m_output;
    return ReadTree(Sub(name));
  }

  ScopedTempDir m_work;
};

TEST_F(SampleTest, SampleIsDeterministicAndComplete) {
  PatchkitRun run = RunPatchkit({"sample", Sub("one"), "--build", "101"});
  ASSERT_EQ(run.m_exit, 0) << run.m_output;
  EXPECT_TRUE(run.m_output.starts_with("wrote a sample installation of build 101 into " +
                                       Sub("one") + ": "))
      << run.m_output;
  const Tree tree = ReadTree(Sub("one"));
  EXPECT_EQ(MakeSample("two", "101"), tree);
  EXPECT_FALSE(fs::exists(Registry()));

  const std::set<std::string> files = FilesOf(tree);
  EXPECT_GE(files.size(), 300u);
  for (const std::string& file : files) {
    EXPECT_NE(fs::path(file).filename().string().find('.'), std::string::npos) << file;
  }
  for (const char* program : SAMPLE_PROGRAMS) {
    const std::string copy = Sub("one/bin/") + program;
    std::string expected = ReadTextFile(std::string(OMVEL_BIN_DIR) + "/" + program);
    if (std::string(program) == "Launcher.exe") expected += SampleLauncherTrailer("101");
    EXPECT_TRUE(ReadTextFile(copy) == expected) << program;
    EXPECT_NE(fs::status(copy).permissions() & fs::perms::owner_exec, fs::perms::none) << program;
  }
  // The launcher still runs with its build appended.
  std::string output;
  EXPECT_EQ(RunProgram(Sub("one/bin/Launcher.exe"), {}, &output), 0) << output;
  EXPECT_EQ(tree.at("bin/builds.txt"), "101\n");
  for (const char* large : {"assets/scenery/world.bgl", "assets/sounds/ambient_loop.wav"}) {
    EXPECT_GE(tree.at(large).size(), 1024u * 1024) << large;
    EXPECT_LE(tree.at(large).size(), 2048u * 1024) << large;
  }
  EXPECT_TRUE(files.count("assets/Base.ja"));
  EXPECT_TRUE(files.count("bin/BramLauncher.exe"));

  // The asset database is the index of exactly the files below assets/.
  std::string index = "KestroAssetIndex 1\n";
  std::vector<std::string> assets;
  for (const std::string& file : files) {
    if (file.starts_with("assets/")) assets.push_back(file);
  }
  std::sort(assets.begin(), assets.end(), [](std::string a, std::string b) {
    NormalizeSeparators(a, '\\');
    NormalizeSeparators(b, '\\');
    return a < b;
  });
  for (std::string file : assets) {
    const std::string md5 = Md5Of(Sub("one/") + file);
    const std::string size = std::to_string(tree.at(file).size());
    NormalizeSeparators(file, '\\');
    index += file + "\t" + size + "\t" + md5 + "\n";
  }
  EXPECT_TRUE(tree.at("assets.tdx") == index);
}

// Each step adds files (also into a new folder), removes some and changes
// others, large ones by a small stretch; the programs, the unchanged large
// file and the uninstaller log stay as they are.
TEST_F(SampleTest, BuildsDifferAsDesigned) {
  const Tree trees[] = {MakeSample("100", "100"), MakeSample("101", "101"),
                        MakeSample("102", "102")};
  for (int step = 0; step < 2; ++step) {
    SCOPED_TRACE("step " + std::to_string(100 + step) + " to " + std::to_string(101 + step));
    const Tree& from = trees[step];
    const Tree& to = trees[step + 1];
    std::set<std::string> added, removed, changed;
    bool new_folder = false;
    for (const std::string& file : FilesOf(to)) {
      if (!from.count(file)) {
        added.insert(file);
        new_folder = new_folder || !from.count(fs::path(file).parent_path().string());
      } else if (from.at(file) != to.at(file)) {
        changed.insert(file);
      }
    }
    for (const std::string& file : FilesOf(from)) {
      if (!to.count(file)) removed.insert(file);
    }
    EXPECT_GE(added.size(), 4u);
    EXPECT_TRUE(new_folder);
    EXPECT_GE(removed.size(), 2u);
    EXPECT_GE(changed.size(), 20u);
    for (const char* file : {"bin/Launcher.exe", "bin/BramLauncher.exe", "bin/builds.txt",
                             "assets/Base.ja", "assets/scenery/world.bgl", "assets.tdx"}) {
      EXPECT_TRUE(changed.count(file)) << file;
    }
    for (const char* file :
         {"bin/KestroUtil.exe", "bin/Kestro.exe", "bin/jpatchl-w32.exe", "bin/PakConverter.exe",
          "assets/sounds/ambient_loop.wav", "unins000.dat"}) {
      EXPECT_FALSE(changed.count(file)) << file;
    }
    const std::string& old_world = from.at("assets/scenery/world.bgl");
    const std::string& new_world = to.at("assets/scenery/world.bgl");
    ASSERT_EQ(old_world.size(), new_world.size());
    size_t differing = 0;
    for (size_t i = 0; i < old_world.size(); ++i) differing += old_world[i] != new_world[i];
    EXPECT_LE(differing, 4096u);
    EXPECT_NE(Md5OfBytes(from.at("bin/Launcher.exe")), Md5OfBytes(to.at("bin/Launcher.exe")));
  }
}

TEST_F(SampleTest, UninstallLogTakesThePatchersUpdate) {
  MakeSample("install", "100");
  const std::string log_path = Sub("install/unins000.dat");
  const std::string log = ReadTextFile(log_path);
  const ParsedLog before = ParseLog(log);
  ASSERT_TRUE(before.m_valid) << before.m_why;
  EXPECT_EQ(log.substr(0, 28), SAMPLE_UNINSTALL_LOG_ID);
  EXPECT_EQ(before.m_records, before.m_parsedRecords);
  EXPECT_EQ(before.m_endOffset, log.size());
  EXPECT_GT(before.m_data.size(), UNINSTALL_LOG_BLOCK_DATA_SIZE);  // more than one block
  EXPECT_GE(before.m_lastBlock, UNINSTALL_LOG_FINAL_RECORD_SIZE);
  EXPECT_LT(before.m_lastBlock, UNINSTALL_LOG_BLOCK_DATA_SIZE);
  const std::string final_record = before.m_data.substr(before.m_data.size() - 28);
  EXPECT_EQ(final_record, BuildDeleteFileRecord("{app}\\Kestro.cfg"));
  EXPECT_NE(before.m_data.find(BuildDeleteFileRecord("{app}\\bin\\Launcher.exe")),
            std::string::npos);

  WriteTree(Sub("patch"),
            {{"addedFiles.txt", "assets\\new.dds\r\nmd5\r\n\r\nbin\\x.dll\r\nmd5\r\n\r\n"}});
  ASSERT_TRUE(UpdateUninstallLog(Sub("install"), Sub("patch")));
  const ParsedLog after = ParseLog(ReadTextFile(log_path));
  ASSERT_TRUE(after.m_valid) << after.m_why;
  EXPECT_EQ(after.m_records, before.m_records + 2);
  EXPECT_EQ(after.m_parsedRecords, before.m_parsedRecords + 2);
  // The new records sit between the old ones and the final record (how the
  // patcher spells their paths is its own business).
  const std::string kept = before.m_data.substr(0, before.m_data.size() - 28);
  ASSERT_GT(after.m_data.size(), kept.size() + 28);
  EXPECT_TRUE(after.m_data.starts_with(kept));
  EXPECT_TRUE(after.m_data.ends_with(final_record));
  const std::string added =
      after.m_data.substr(kept.size(), after.m_data.size() - kept.size() - 28);
  EXPECT_NE(added.find("new.dds\xFF"), std::string::npos);
  EXPECT_NE(added.find("x.dll\xFF"), std::string::npos);
}

TEST_F(SampleTest, RegisterMakesTheSampleTheRegisteredInstallation) {
  auto registered = [&](std::string* path) {
    RegistryKey products;
    EXPECT_EQ(RegistryKey::LocalMachine().OpenKey("SOFTWARE\\Omvel\\Products\\KestroSimulator",
                                                  REGISTRY_ACCESS_READ, &products),
              REGISTRY_OK);
    std::string name;
    EXPECT_EQ(products.EnumerateSubkey(0, 260, &name), REGISTRY_OK);
    EXPECT_EQ(products.EnumerateSubkey(1, 260, &name), REGISTRY_NO_MORE_ITEMS);
    RegistryKey key;
    EXPECT_EQ(products.OpenKey("Sample", REGISTRY_ACCESS_READ, &key), REGISTRY_OK);
    std::string product_class;
    EXPECT_EQ(key.QueryStringValue("ProductClass", 260, &product_class), REGISTRY_OK);
    EXPECT_EQ(product_class, "Kestro");
    EXPECT_EQ(key.QueryStringValue("ProductInstallPath", 260, path), REGISTRY_OK);
  };
  PatchkitRun run = RunPatchkit({"sample", Sub("first"), "--build", "100", "--register"});
  ASSERT_EQ(run.m_exit, 0) << run.m_output;
  EXPECT_NE(run.m_output.find("registered it as HKEY_LOCAL_MACHINE\\SOFTWARE\\Omvel\\Products\\"
                              "KestroSimulator\\Sample in " +
                              Registry() + "\n"),
            std::string::npos)
      << run.m_output;
  std::string path;
  registered(&path);
  EXPECT_EQ(path, Sub("first"));

  // A later sample replaces the registration; its path is stored normalised.
  run = RunPatchkit({"sample", Sub("first/../second/"), "--build", "102", "--register"});
  ASSERT_EQ(run.m_exit, 0) << run.m_output;
  registered(&path);
  EXPECT_EQ(path, Sub("second"));
}

TEST_F(SampleTest, RefusedRequestsWriteNothing) {
  WriteTree(Sub("full"), {{"keep.txt", "mine"}});
  WriteTextFile(Sub("a file.txt"), "mine");
  const std::string long_path = Sub(std::string(130, 'x'));
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string error;  // the output after "omvel-patchkit: "; "" for a usage error
  };
  const auto build_error = [](const std::string& build) {
    return "--build must be a build number from 100 to 999, not \"" + build + "\"\n";
  };
  const Case cases[] = {
      {{"sample", Sub("full"), "--build", "100"}, 1, Sub("full") + " is not empty\n"},
      {{"sample", Sub("a file.txt"), "--build", "100"},
       1,
       Sub("a file.txt") + " exists and is not a folder\n"},
      {{"sample", Sub("new"), "--build", "99"}, 1, build_error("99")},
      {{"sample", Sub("new"), "--build", "1000"}, 1, build_error("1000")},
      {{"sample", Sub("new"), "--build", "0100"}, 1, build_error("0100")},
      {{"sample", Sub("new"), "--build", "10a"}, 1, build_error("10a")},
      {{"sample", Sub("new"), "--build", ""}, 1, build_error("")},
      {{"sample", Sub("new")}, 2, ""},
      {{"sample", "--build", "100"}, 2, ""},
      {{"sample", long_path, "--build", "100", "--register"},
       1,
       "the path " + long_path + " is too long to be registered (at most 129 characters)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    PatchkitRun run = RunPatchkit(c.args);
    EXPECT_EQ(run.m_exit, c.exit) << run.m_output;
    if (!c.error.empty()) {
      EXPECT_EQ(run.m_output, "omvel-patchkit: " + c.error);
    }
  }
  EXPECT_EQ(ReadTree(Sub("full")), (Tree{{"keep.txt", "mine"}}));
  EXPECT_EQ(ReadTextFile(Sub("a file.txt")), "mine");
  EXPECT_FALSE(fs::exists(Sub("new")));
  EXPECT_FALSE(fs::exists(long_path));

  // Without the product's programs beside it, the tool names what is missing.
  fs::create_directory(Sub("lonely"));
  fs::copy_file(PATCHKIT_PROGRAM, Sub("lonely/omvel-patchkit"));
  PatchkitRun run =
      RunPatchkit({"sample", Sub("new"), "--build", "100"}, Sub("lonely/omvel-patchkit"));
  EXPECT_EQ(run.m_exit, 1);
  EXPECT_EQ(run.m_output, "omvel-patchkit: cannot find KestroUtil.exe beside omvel-patchkit in " +
                              Sub("lonely") + " (build the product's programs first)\n");
  EXPECT_FALSE(fs::exists(Sub("new")));

  // A registration that fails late takes the written sample away again; an
  // empty folder given for it stays.
  WriteTextFile(Sub("not a folder"), "");
  setenv("OMVEL_REGISTRY", Sub("not a folder/registry.reg").c_str(), 1);
  fs::create_directory(Sub("empty"));
  for (const char* folder : {"new", "empty"}) {
    run = RunPatchkit({"sample", Sub(folder), "--build", "100", "--register"});
    EXPECT_EQ(run.m_exit, 1);
    EXPECT_TRUE(run.m_output.starts_with("omvel-patchkit: cannot register the sample in " +
                                         Sub("not a folder/registry.reg")))
        << run.m_output;
  }
  EXPECT_FALSE(fs::exists(Sub("new")));
  EXPECT_TRUE(fs::is_directory(Sub("empty")));
  EXPECT_TRUE(fs::is_empty(Sub("empty")));
}

}  // namespace
}  // namespace BramPatch

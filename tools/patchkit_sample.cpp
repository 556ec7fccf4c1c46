#include "tools/patchkit_sample.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <system_error>
#include <vector>

#include "engine/uninstall_log.h"
#include "foundation/child_process.h"
#include "foundation/paths.h"
#include "foundation/registry.h"
#include "foundation/registry_hive_file.h"
#include "foundation/utf.h"
#include "tools/patchkit_commands.h"
#include "tools/patchkit_sample_tree.h"
#include "tools/patchkit_sample_uninstall_log.h"

namespace BramPatch {

namespace fs = std::filesystem;

namespace {

constexpr const char* SAMPLE_UTILITY = "bin/KestroUtil.exe";
constexpr const char* SAMPLE_LAUNCHER = "Launcher.exe";
constexpr const char* SAMPLE_BUILDS_FILE = "bin/builds.txt";
constexpr const char* SAMPLE_DATABASE = "assets.tdx";
constexpr const char* SAMPLE_APP_KEY = "KestroSimulator";
constexpr const char* SAMPLE_APP_NAME = "Kestro Simulator";
// The closing record of every sample log: the product's settings file, a
// delete-file record of exactly 28 bytes.
constexpr const char* SAMPLE_LOG_FINAL_PATH = "{app}\\Kestro.cfg";
// Shifts the cut of the blocks when the last one would come out too short.
constexpr const char* SAMPLE_LOG_FILLER_PATH = "{app}\\bin\\Kestro.log";
// The patcher reads the install path into a 260-byte buffer of UTF-16 text
// with its terminator.
constexpr std::size_t SAMPLE_MAX_REGISTERED_PATH_UNITS = 129;

int Failed(std::string* error, const std::string& text) {
  *error = text;
  return PATCHKIT_EXIT_FAILURE;
}

bool ParseBuild(const std::string& text, std::uint32_t* build) {
  if (text.empty() || text.size() > 3 || text[0] == '0') return false;
  std::uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (value < SAMPLE_FIRST_BUILD || value > SAMPLE_LAST_BUILD) return false;
  *build = value;
  return true;
}

bool WriteFile(const fs::path& path, const std::string& bytes, std::string* error) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (ec || !out) {
    *error = "cannot write " + path.string();
    return false;
  }
  return true;
}

// The sample's uninstaller log: the same in every build, as the installer of
// the first build wrote it, so that no patch between samples carries it (the
// patcher appends records of its own to it).
bool BuildSampleLog(const std::vector<std::string>& installed, std::string* log,
                    std::string* error) {
  std::vector<std::string> records;
  for (std::string path : installed) {
    NormalizeSeparators(path, '\\');
    records.push_back(BuildDeleteFileRecord("{app}\\" + path));
  }
  const std::string final_record = BuildDeleteFileRecord(SAMPLE_LOG_FINAL_PATH);
  if (ComposeUninstallLog(SAMPLE_APP_KEY, SAMPLE_APP_NAME, records, final_record, log, error)) {
    return true;
  }
  records.push_back(BuildDeleteFileRecord(SAMPLE_LOG_FILLER_PATH));
  return ComposeUninstallLog(SAMPLE_APP_KEY, SAMPLE_APP_NAME, records, final_record, log, error);
}

// Every file of an installation of the first build, relative.
std::vector<std::string> FirstBuildFiles() {
  std::vector<std::string> files = {SAMPLE_BUILDS_FILE, SAMPLE_DATABASE};
  for (const char* program : SAMPLE_PROGRAMS) files.push_back(std::string("bin/") + program);
  for (const SampleFile& file : ListSampleFiles(SAMPLE_FIRST_BUILD)) files.push_back(file.m_path);
  std::sort(files.begin(), files.end());
  return files;
}

bool BuildAssetDatabase(const fs::path& root, std::string* error) {
  const std::string utility = (root / SAMPLE_UTILITY).string();
  ChildProcess* child = StartChildProcess(utility, "repairdatabase patcher --fast");
  if (child == nullptr) {
    *error = "cannot run " + utility;
    return false;
  }
  std::string output;
  while (ReadChildOutput(child, output)) {
  }
  WaitChild(child, CHILD_WAIT_INFINITE);
  const int code = ChildExitCode(child);
  delete child;
  if (code == 0) return true;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  *error = "the sample's KestroUtil.exe could not build the asset database (exit " +
           std::to_string(code) + "): " + output.substr(output.rfind('\n') + 1);
  return false;
}

bool Register(const fs::path& root, std::string* error) {
  RegistryKey key;
  RegistryResult result =
      RegistryKey::LocalMachine().CreateKey(SAMPLE_REGISTRATION_KEY, REGISTRY_ACCESS_WRITE, &key);
  if (result == REGISTRY_OK) result = key.SetStringValue("ProductClass", SAMPLE_PRODUCT_CLASS);
  if (result == REGISTRY_OK) result = key.SetStringValue("ProductInstallPath", root.string());
  if (result == REGISTRY_OK) return true;
  *error = "cannot register the sample in " + MachineRegistryFile() + " (registry result " +
           std::to_string(result) + ")";
  return false;
}

struct SampleTotals {
  std::uint64_t m_files = 0;
  std::uint64_t m_bytes = 0;
};

bool WriteSample(const fs::path& root, std::uint32_t build, const std::string& build_text,
                 const fs::path& programs, SampleTotals* totals, std::string* error) {
  auto write = [&](const fs::path& path, const std::string& bytes) {
    totals->m_files += 1;
    totals->m_bytes += bytes.size();
    return WriteFile(path, bytes, error);
  };
  for (const SampleFile& file : ListSampleFiles(build)) {
    if (!write(root / file.m_path, SampleFileContents(file, build))) return false;
  }
  for (const char* program : SAMPLE_PROGRAMS) {
    const fs::path target = root / "bin" / program;
    std::error_code ec;
    fs::copy_file(programs / program, target, ec);
    if (ec) {
      *error = "cannot copy " + (programs / program).string() + " to " + target.string() + ": " +
               ec.message();
      return false;
    }
    totals->m_files += 1;
    totals->m_bytes += fs::file_size(target, ec);
  }
  {
    std::ofstream launcher(root / "bin" / SAMPLE_LAUNCHER, std::ios::binary | std::ios::app);
    const std::string trailer = SampleLauncherTrailer(build_text);
    launcher << trailer;
    launcher.close();
    if (!launcher) {
      *error = "cannot write " + (root / "bin" / SAMPLE_LAUNCHER).string();
      return false;
    }
    totals->m_bytes += trailer.size();
  }
  if (!write(root / SAMPLE_BUILDS_FILE, build_text + "\n")) return false;
  if (!BuildAssetDatabase(root, error)) return false;
  std::error_code ec;
  totals->m_files += 1;
  totals->m_bytes += fs::file_size(root / SAMPLE_DATABASE, ec);
  std::string log;
  if (!BuildSampleLog(FirstBuildFiles(), &log, error)) return false;
  return write(root / UNINSTALL_LOG_NAME, log);
}

}  // namespace

std::string SampleLauncherTrailer(const std::string& build) {
  return "\nKestroBuild " + build + "\n";
}

int RunSample(const std::string& directory, const std::string& build_text, bool register_it,
              const std::string& programs_dir, std::ostream& out, std::string* error) {
  std::uint32_t build = 0;
  if (!ParseBuild(build_text, &build)) {
    return Failed(error, "--build must be a build number from " +
                             std::to_string(SAMPLE_FIRST_BUILD) + " to " +
                             std::to_string(SAMPLE_LAST_BUILD) + ", not \"" + build_text + "\"");
  }
  if (directory.empty()) return Failed(error, "the sample folder must not be empty text");
  std::error_code ec;
  fs::path root = fs::absolute(directory, ec).lexically_normal();
  if (root.has_parent_path() && root.filename().empty()) root = root.parent_path();
  const fs::path programs(programs_dir);
  for (const char* program : SAMPLE_PROGRAMS) {
    if (!fs::is_regular_file(programs / program, ec)) {
      return Failed(error, "cannot find " + std::string(program) + " beside omvel-patchkit in " +
                               programs_dir + " (build the product's programs first)");
    }
  }
  if (register_it && Utf8ToUtf16(root.string()).size() > SAMPLE_MAX_REGISTERED_PATH_UNITS) {
    return Failed(error, "the path " + root.string() + " is too long to be registered (at most " +
                             std::to_string(SAMPLE_MAX_REGISTERED_PATH_UNITS) + " characters)");
  }
  const fs::file_status status = fs::status(root, ec);
  const bool existed = fs::exists(status);
  if (existed && !fs::is_directory(status)) {
    return Failed(error, root.string() + " exists and is not a folder");
  }
  if (existed && !fs::is_empty(root, ec)) return Failed(error, root.string() + " is not empty");
  if (!MakeDirectory(root.string()))
    return Failed(error, "cannot create the folder " + root.string());

  SampleTotals totals;
  if (!WriteSample(root, build, build_text, programs, &totals, error) ||
      (register_it && !Register(root, error))) {
    fs::remove_all(root, ec);
    if (existed) fs::create_directory(root, ec);
    return PATCHKIT_EXIT_FAILURE;
  }
  out << "wrote a sample installation of build " << build_text << " into " << root.string() << ": "
      << totals.m_files << " files, " << totals.m_bytes << " bytes\n";
  if (register_it) {
    out << "registered it as HKEY_LOCAL_MACHINE\\" << SAMPLE_REGISTRATION_KEY << " in "
        << MachineRegistryFile() << "\n";
  }
  return PATCHKIT_EXIT_OK;
}

}  // namespace BramPatch

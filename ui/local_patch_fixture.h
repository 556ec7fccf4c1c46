// A self-contained patcher and the installation it patches, for tests of
// the window and the program: an installation at build 100 whose launcher
// identifies its build, a machine registry file that registers it, TEMP of
// its own, and a patcher file carrying a package of chained steps.
//
// A step either adds a file ("added-<target>.txt") or, when it holds,
// patches "held.dat" with a diff tool that waits: it creates "diff-started"
// and ends (failing) once the test has created "diff-release".
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/archive_writer.h"
#include "engine/package_writer.h"
#include "engine/patch_test_support.h"
#include "run/run_test_support.h"
#include "ui/xvfb_test_support.h"

namespace BramPatch {

struct PatchStep {
  std::string source;
  std::string target;
  bool holds = false;
};

class LocalPatchFixture {
 public:
  // `pageBase`: the page's base address in the registry (never the maker's
  // site in a test).
  explicit LocalPatchFixture(const std::string& pageBase = UnservedPageBase()) {
    std::filesystem::create_directories(m_install + "/bin");
    std::filesystem::create_directories(m_dir.Sub("temp"));
    WriteTextFile(m_install + "/bin/Launcher.exe", LauncherText("100"));
    WriteTextFile(m_install + "/held.dat", "held file, old contents\n");
    WriteTestRegistry(m_registry, pageBase, m_install);
    const std::string tool = m_install + "/bin/jpatchl-w32.exe";
    WriteTextFile(tool, "#!/bin/sh\n: > \"" + Started() + "\"\nwhile [ ! -e \"" + Release() +
                            "\" ]; do sleep 0.05; done\nexit 1\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
  }

  // Writes the patcher (a copy of `image`, or of a small stand-in file, with
  // the package appended) and returns its path.
  std::string MakePatcher(const std::vector<PatchStep>& steps, const std::string& image = "") {
    std::string program = image;
    if (program.empty()) {
      program = m_dir.Sub("patcher-image");
      WriteTextFile(program, "the patcher's program image");
    }
    std::vector<PackageInput> inputs;
    for (const PatchStep& step : steps) {
      const std::string directory = m_dir.Sub("patch-" + step.target);
      PatchDirectoryBuilder patch(directory);
      if (step.holds) {
        patch.Patch("held.dat", "held file, old contents\n", "held file, new contents\n");
      } else {
        patch.Add("added-" + step.target + ".txt", "added by " + step.target + "\n");
      }
      patch.Write();
      PackageInput input;
      input.m_record.m_identifyingFile = "bin\\Launcher.exe";
      input.m_record.m_checksum = Md5OfBytes(LauncherText(step.source));
      input.m_record.m_sourceVersion = step.source;
      input.m_record.m_targetVersion = step.target;
      input.m_archivePath = directory + ".zip";
      std::string error;
      EXPECT_TRUE(PackDirectory(directory, input.m_archivePath, &error)) << error;
      inputs.push_back(input);
    }
    const std::string patcher = m_dir.Sub("omvel-patcher");
    std::string error;
    EXPECT_TRUE(WritePackage(program, inputs, patcher, &error)) << error;
    return patcher;
  }

  const std::string& Install() const { return m_install; }
  const std::string& Registry() const { return m_registry; }
  std::string Dir() const { return m_dir.path(); }
  std::string Started() const { return m_dir.Sub("diff-started"); }
  std::string Release() const { return m_dir.Sub("diff-release"); }
  bool DiffStarted() const { return std::filesystem::exists(Started()); }
  void ReleaseDiff() const { WriteTextFile(Release(), ""); }

 private:
  static std::string LauncherText(const std::string& build) {
    return "launcher of build " + build + "\n";
  }

  ScopedTempDir m_dir;
  const std::string m_install = m_dir.Sub("Kestro");
  const std::string m_registry = m_dir.Sub("registry.reg");
  ScopedEnvironment m_registryVariable{"OMVEL_REGISTRY", m_registry};
  ScopedEnvironment m_tempVariable{"TEMP", m_dir.Sub("temp")};
};

}  // namespace BramPatch

// omvel-patchkit sample DIR --build N [--register]: a sample installation of
// the product at build N, made of the product's programs (stand-ins) and a
// generated tree of assets (patchkit_sample_tree.h). Patches between two
// samples move an installation from one build to the next; the layout is
// described in docs/sample-installation.md.
#pragma once

#include <iosfwd>
#include <string>

namespace BramPatch {

// The registration that --register writes, below HKEY_LOCAL_MACHINE. One key
// for every sample, so the last one registered is the installation that the
// patcher finds.
constexpr const char* SAMPLE_REGISTRATION_KEY =
    "SOFTWARE\\Omvel\\Products\\KestroSimulator\\Sample";
constexpr const char* SAMPLE_PRODUCT_CLASS = "Kestro";

// The product's programs copied into the sample's bin/ folder.
constexpr const char* SAMPLE_PROGRAMS[] = {"KestroUtil.exe", "Launcher.exe", "Kestro.exe",
                                           "jpatchl-w32.exe", "PakConverter.exe"};

// The bytes appended to the launcher of a sample of `build`, which make its
// MD5 tell the builds apart.
std::string SampleLauncherTrailer(const std::string& build);

// Writes the sample of `build` (decimal, SAMPLE_FIRST_BUILD to
// SAMPLE_LAST_BUILD, no leading zero) into `directory`, which must be missing
// or an empty folder; the programs come from programs_dir. Runs the sample's
// own KestroUtil.exe to build its asset database. With `register_it`, makes
// it the registered installation in the machine registry (OMVEL_REGISTRY).
// On failure nothing of the sample is left (an empty folder that existed
// before stays) and *error holds one line. Returns the exit code
// (tools/patchkit_commands.h).
int RunSample(const std::string& directory, const std::string& build, bool register_it,
              const std::string& programs_dir, std::ostream& out, std::string* error);

}  // namespace BramPatch

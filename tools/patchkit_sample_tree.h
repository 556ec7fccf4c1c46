// The generated files of a sample installation: a deterministic tree of asset
// files (and the patcher's own launcher in bin/) whose contents depend only on
// the build, with files added, removed and changed from one build to the
// next, so that patches between samples exercise every kind of manifest
// entry. docs/sample-installation.md describes the rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace BramPatch {

constexpr std::uint32_t SAMPLE_FIRST_BUILD = 100;
constexpr std::uint32_t SAMPLE_LAST_BUILD = 999;

struct SampleFile {
  std::string m_path;            // relative to the installation, '/' separators
  std::uint32_t m_created = 0;   // the build that added it
  std::uint32_t m_revision = 0;  // the build that last changed it
};

// The generated files of `build`, sorted by path.
// REQUIRES: SAMPLE_FIRST_BUILD <= build <= SAMPLE_LAST_BUILD.
std::vector<SampleFile> ListSampleFiles(std::uint32_t build);

// The bytes of `file` in `build` (a file of ListSampleFiles(build)).
std::string SampleFileContents(const SampleFile& file, std::uint32_t build);

}  // namespace BramPatch

// The product's utility "KestroUtil.exe", as far as the patcher and its
// tests use it. It lives in <installation>/bin/ and works on the
// installation around it:
//
//   KestroUtil.exe listbuilds PATH
//       Writes the builds the installation may be at, read from
//       bin/builds.txt (one build per line, the current build first), to
//       PATH ('\' or '/' between its components), each followed by a
//       comma: "100,101,".
//   KestroUtil.exe repairdatabase patcher [--fast]
//       Takes the asset database "assets.tdx" through its ownership block
//       (waiting while another program holds it), rebuilds it as the index
//       of the asset files (asset_index.h) and reports progress in a few
//       lines, each written and flushed on its own without a line end: the
//       patcher posts every piece of output it reads as one log line.
//   KestroUtil.exe holddb
//       Attaches to the ownership block, takes ownership of the database,
//       prints "holding" and keeps both until it is killed, as a running
//       program of the product family does.
//
// Environment: KESTROUTIL_STEP_MS is the pause between the rebuild's
// progress lines (default 700; --fast makes it 0), KESTROUTIL_WAIT_MS how
// long repairdatabase and holddb wait for the database before they give up
// (default 60000).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace BramPatch {

constexpr const char* KESTRO_UTIL_NAME = "KestroUtil.exe";
constexpr const char* KESTRO_UTIL_BUILDS_FILE = "bin/builds.txt";

constexpr int KESTRO_UTIL_EXIT_OK = 0;
constexpr int KESTRO_UTIL_EXIT_FAILURE = 1;  // the installation could not be read or written
constexpr int KESTRO_UTIL_EXIT_USAGE = 2;    // bad arguments or settings
constexpr int KESTRO_UTIL_EXIT_BUSY = 3;     // another program kept the asset database

constexpr std::uint32_t KESTRO_UTIL_DEFAULT_STEP_MS = 700;
constexpr std::uint32_t KESTRO_UTIL_DEFAULT_WAIT_MS = 60000;

struct KestroUtilSettings {
  std::uint32_t m_stepMs = KESTRO_UTIL_DEFAULT_STEP_MS;
  std::uint32_t m_waitMs = KESTRO_UTIL_DEFAULT_WAIT_MS;
};

// The settings from the values of KESTROUTIL_STEP_MS and KESTROUTIL_WAIT_MS
// (null when unset): decimal milliseconds up to one hour. False, with
// *error set and *settings unchanged, for any other text.
bool ReadKestroUtilSettings(const char* step_ms, const char* wait_ms, KestroUtilSettings* settings,
                            std::string* error);

// The installation a utility at `executable` works on: the parent of the
// executable's folder ("/games/K/bin/KestroUtil.exe" gives "/games/K").
std::string InstallRootOfUtility(const std::string& executable);

// Runs one command line (`args` without the program name) on the
// installation at install_root. Progress goes to `out`, errors (one line
// each, starting with the program's name) to `err`. Returns the exit code;
// holddb returns only when it fails.
int RunKestroUtil(const std::vector<std::string>& args, const std::string& install_root,
                  const KestroUtilSettings& settings, std::ostream& out, std::ostream& err);

}  // namespace BramPatch

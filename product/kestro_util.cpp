#include "product/kestro_util.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <thread>

#include "foundation/database_block.h"
#include "foundation/database_block_peer.h"
#include "foundation/paths.h"
#include "product/asset_index.h"

namespace BramPatch {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t KESTRO_UTIL_MAX_MS = 3600000;
constexpr std::uint32_t KESTRO_UTIL_HOLD_IDLE_MS = 200;
constexpr const char* KESTRO_UTIL_USAGE =
    "usage: KestroUtil.exe listbuilds PATH | repairdatabase patcher [--fast] | holddb";

int Usage(std::ostream& err) {
  err << KESTRO_UTIL_USAGE << "\n";
  return KESTRO_UTIL_EXIT_USAGE;
}

int Fail(std::ostream& err, int code, const std::string& text) {
  err << KESTRO_UTIL_NAME << ": " << text << "\n";
  return code;
}

bool ParseMilliseconds(const char* text, std::uint32_t* value) {
  if (text == nullptr) return true;
  const std::string digits = text;
  if (digits.empty() || digits.size() > 7) return false;
  std::uint32_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (number > KESTRO_UTIL_MAX_MS) return false;
  *value = number;
  return true;
}

// One progress line as one write, without a line end (see kestro_util.h).
void Progress(std::ostream& out, const std::string& line) {
  out << line;
  out.flush();
}

void Pause(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::uint32_t RemainingMs(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(left).count());
}

std::string Seconds(std::uint32_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", milliseconds / 1000.0);
  return text;
}

int ListBuilds(const std::string& install_root, const std::string& list_path, std::ostream& err) {
  if (list_path.empty()) return Fail(err, KESTRO_UTIL_EXIT_USAGE, "listbuilds needs a list file");
  const std::string builds_path = JoinPath(install_root, KESTRO_UTIL_BUILDS_FILE);
  std::ifstream in(builds_path, std::ios::binary);
  if (!in) return Fail(err, KESTRO_UTIL_EXIT_FAILURE, "cannot read " + builds_path);
  std::string list;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    const std::string build = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
    if (build.find(',') != std::string::npos) {
      return Fail(err, KESTRO_UTIL_EXIT_FAILURE,
                  builds_path + ":" + std::to_string(number) + ": a build may not hold a comma");
    }
    list += build + ",";
  }
  if (in.bad()) return Fail(err, KESTRO_UTIL_EXIT_FAILURE, "cannot read " + builds_path);
  if (list.empty()) return Fail(err, KESTRO_UTIL_EXIT_FAILURE, builds_path + " lists no build");

  // Either separator, as everywhere in the product and the patcher.
  std::string native = list_path;
  NormalizeSeparators(native);
  std::ofstream out(native, std::ios::binary | std::ios::trunc);
  out << list;
  out.close();
  if (!out) {
    DeletePath(native);
    return Fail(err, KESTRO_UTIL_EXIT_FAILURE, "cannot write " + list_path);
  }
  return KESTRO_UTIL_EXIT_OK;
}

std::string DatabaseFolder(const std::string& database) {
  return std::filesystem::path(database).parent_path().string();
}

// Attaches `block` to the database and takes ownership, waiting up to
// settings.m_waitMs while another program holds the database exclusively or
// owns it. On the first wait, `waiting` is written to `out` as one progress
// line when it is not empty. Returns an exit code: KESTRO_UTIL_EXIT_OK with
// the database owned, otherwise with the error reported and `block` closed.
int TakeDatabase(const std::string& database, const KestroUtilSettings& settings,
                 const std::string& waiting, DatabaseBlock* block, std::ostream& out,
                 std::ostream& err) {
  if (!IsDirectory(DatabaseFolder(database))) {
    return Fail(err, KESTRO_UTIL_EXIT_FAILURE, "no installation at " + DatabaseFolder(database));
  }
  std::string mutex_file, presence_file, block_file;
  if (!block->FilesFor(database, &mutex_file, &presence_file, &block_file)) {
    return Fail(err, KESTRO_UTIL_EXIT_FAILURE,
                "the asset database " + database + " has no ownership block (path too long?)");
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(settings.m_waitMs);
  bool announced = false;
  auto announce = [&]() {
    if (!announced && !waiting.empty()) Progress(out, waiting);
    announced = true;
  };
  while (!block->Open(database, false)) {
    if (Clock::now() >= deadline) {
      return Fail(err, KESTRO_UTIL_EXIT_BUSY,
                  "the asset database " + database +
                      " is held exclusively by another program; gave up after " +
                      Seconds(settings.m_waitMs));
    }
    announce();
    Pause(DatabaseBlockPeer::OWNERSHIP_POLL_MS);
  }
  if (block->RequestOwnership()) return KESTRO_UTIL_EXIT_OK;
  announce();
  DatabaseBlockPeer peer(*block);
  if (!peer.WaitForOwnership(RemainingMs(deadline))) {
    const std::int32_t owner = block->Read(DatabaseBlockField::OWNER);
    block->Close();
    return Fail(err, KESTRO_UTIL_EXIT_BUSY,
                "the asset database " + database + " is in use by process " +
                    std::to_string(owner) + "; gave up after " + Seconds(settings.m_waitMs));
  }
  return KESTRO_UTIL_EXIT_OK;
}

int RepairDatabase(const std::string& install_root, const KestroUtilSettings& settings,
                   std::ostream& out, std::ostream& err) {
  const std::string database = JoinPath(install_root, ASSET_DATABASE_NAME);
  DatabaseBlock block;
  int code = TakeDatabase(database, settings,
                          "Waiting for another program to release the asset database...", &block,
                          out, err);
  if (code != KESTRO_UTIL_EXIT_OK) return code;
  DatabaseBlockPeer peer(block);

  Progress(out, "Rebuilding the Kestro asset database: scanning the asset files...");
  Pause(settings.m_stepMs);
  std::vector<AssetEntry> entries;
  std::string error;
  if (!ListAssetFiles(install_root, &entries, &error)) {
    return Fail(err, KESTRO_UTIL_EXIT_FAILURE, error);
  }
  std::uint64_t bytes = 0;
  for (const AssetEntry& entry : entries) bytes += entry.m_size;
  Progress(out, "Found " + std::to_string(entries.size()) + " asset files (" +
                    std::to_string(bytes) + " bytes); computing checksums...");
  Pause(settings.m_stepMs);
  if (!ComputeAssetChecksums(install_root, &entries, &error)) {
    return Fail(err, KESTRO_UTIL_EXIT_FAILURE, error);
  }
  Progress(out, "Checksums computed; writing " + std::string(ASSET_DATABASE_NAME) + "...");
  Pause(settings.m_stepMs);
  if (!WriteAssetDatabase(install_root, FormatAssetIndex(entries), &error)) {
    return Fail(err, KESTRO_UTIL_EXIT_FAILURE, error);
  }
  peer.AnnounceChange();
  Progress(out, "The Kestro asset database was rebuilt with " + std::to_string(entries.size()) +
                    " assets.");
  peer.ReleaseOwnership();
  block.Close();
  return KESTRO_UTIL_EXIT_OK;
}

int HoldDatabase(const std::string& install_root, const KestroUtilSettings& settings,
                 std::ostream& out, std::ostream& err) {
  const std::string database = JoinPath(install_root, ASSET_DATABASE_NAME);
  DatabaseBlock block;
  int code = TakeDatabase(database, settings, "", &block, out, err);
  if (code != KESTRO_UTIL_EXIT_OK) return code;
  out << "holding\n";
  out.flush();
  DatabaseBlockPeer peer(block);
  for (;;) {
    Pause(KESTRO_UTIL_HOLD_IDLE_MS);
    peer.Idle();
  }
}

}  // namespace

bool ReadKestroUtilSettings(const char* step_ms, const char* wait_ms, KestroUtilSettings* settings,
                            std::string* error) {
  KestroUtilSettings read = *settings;
  if (!ParseMilliseconds(step_ms, &read.m_stepMs)) {
    *error = "KESTROUTIL_STEP_MS must be a number of milliseconds up to 3600000";
    return false;
  }
  if (!ParseMilliseconds(wait_ms, &read.m_waitMs)) {
    *error = "KESTROUTIL_WAIT_MS must be a number of milliseconds up to 3600000";
    return false;
  }
  *settings = read;
  return true;
}

std::string InstallRootOfUtility(const std::string& executable) {
  return std::filesystem::path(executable).parent_path().parent_path().string();
}

int RunKestroUtil(const std::vector<std::string>& args, const std::string& install_root,
                  const KestroUtilSettings& settings, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err);
  const std::string& command = args[0];
  if (command == "listbuilds" && args.size() == 2) return ListBuilds(install_root, args[1], err);
  if (command == "repairdatabase" && (args.size() == 2 || args.size() == 3) &&
      args[1] == "patcher") {
    KestroUtilSettings used = settings;
    if (args.size() == 3) {
      if (args[2] != "--fast") return Usage(err);
      used.m_stepMs = 0;
    }
    return RepairDatabase(install_root, used, out, err);
  }
  if (command == "holddb" && args.size() == 1)
    return HoldDatabase(install_root, settings, out, err);
  return Usage(err);
}

}  // namespace BramPatch

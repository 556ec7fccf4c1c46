// patch_bench: the file patch engine against the same work done by the
// command-line tools.
//
//   patch_bench [--dir DIR] [--scale N]
//
// Writes into DIR (default the temporary directory) a sample installation of
// about 1 GiB (a few large, some medium and many small files of random
// bytes) with the product's diff tool in its bin folder, and a patch for it
// that changes about 5 % of the bytes: a fifth of the bytes lie in patched
// files, a fifth of each patched file is rewritten, and some files are added
// and deleted. Then, with a warm page cache and after a sync each:
//   - baseline: `xdelta3 -d` of every diff (as the diff tool runs it) plus
//     `cp` of every added file, one process each, outputs to a scratch folder;
//   - engine: ApplyPatchDirectory on the installation (checksums, backups,
//     the diff tool per file, copies, settling).
// Both run BENCH_ROUNDS times, the old build put back in between through
// second names (hard links) of the files the patch changes. Prints each
// round's times (wall clock, and processor time of this process and its
// children), the medians and their ratio; checks the patched files'
// checksums. --scale N divides the number of files by N, for quick runs by
// hand.
// Everything it writes is removed at the end.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/manifest.h"
#include "engine/patch_data_paths.h"
#include "engine/patch_engine.h"
#include "engine/temp_directory.h"
#include "engine/windows_argument_quote.h"
#include "foundation/child_process.h"
#include "foundation/paths.h"
#include "kit/file_checksum.h"
#include "platform/process_directory.h"

namespace {

namespace fs = std::filesystem;
using namespace BramPatch;
using Clock = std::chrono::steady_clock;

constexpr std::size_t MIB = 1 << 20;

struct FileGroup {
  int m_count;
  std::size_t m_size;
  int m_patchedEvery;  // every n-th file of the group is patched
};

// About 956 MiB; 2 + 8 + 30 patched files, about 200 MiB.
const FileGroup GROUPS[] = {{6, 64 * MIB, 3}, {48, 8 * MIB, 6}, {600, 320 * 1024, 20}};
constexpr int ADDED_FILES = 20;
constexpr std::size_t ADDED_SIZE = 512 * 1024;
constexpr int DELETED_EVERY = 60;  // of the small files
// Each phase runs this many times (the old build is put back in between);
// the medians are compared, since single runs on a shared machine vary.
constexpr int BENCH_ROUNDS = 3;

// Fast deterministic bytes.
void FillRandom(std::string* bytes, std::size_t size, std::uint64_t seed) {
  bytes->resize(size);
  std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (std::size_t i = 0; i < size; i += 8) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    std::memcpy(bytes->data() + i, &x, std::min<std::size_t>(8, size - i));
  }
}

// Rewrites 64 KiB of every 320 KiB (a fifth of the file).
void Rewrite(std::string* bytes, std::uint64_t seed) {
  std::string fresh;
  for (std::size_t at = 128 * 1024; at < bytes->size(); at += 320 * 1024) {
    const std::size_t n = std::min<std::size_t>(64 * 1024, bytes->size() - at);
    FillRandom(&fresh, n, seed + at);
    bytes->replace(at, n, fresh);
  }
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int Run(const std::string& program, const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) line += " " + QuoteWindowsArgument(argument);
  ChildProcess* child = StartChildProcess(program, line);
  if (child == nullptr) return -1;
  std::string output;
  while (ReadChildOutput(child, output)) {
  }
  WaitChild(child, CHILD_WAIT_INFINITE);
  const int code = ChildExitCode(child);
  delete child;
  if (code != 0)
    std::fprintf(stderr, "%s failed (%d): %s\n", program.c_str(), code, output.c_str());
  return code;
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time (user and system) of this process and its waited-for
// children, from /proc/self/stat (fields 14 to 17, in units of 1/100 s).
double CpuSeconds() {
  std::ifstream in("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));  // after "pid (comm) "
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 17 && fields >> field; ++i) {
    if (i >= 14) ticks += std::stod(field);
  }
  return ticks / 100.0;
}

struct Sample {
  std::vector<std::string> m_patched;    // relative paths, '/'
  std::vector<std::string> m_targetMd5;  // of each patched file after patching
  std::vector<std::string> m_added;
  std::vector<std::string> m_deleted;
  std::uint64_t m_installBytes = 0;
  std::uint64_t m_patchedBytes = 0;
  std::uint64_t m_changedBytes = 0;
};

bool Generate(const std::string& install, const std::string& patch, const std::string& scratch,
              int scale, Sample* sample) {
  std::vector<ManifestEntry> added, deleted, patched;
  std::string old_bytes, new_bytes;
  int serial = 0;
  for (const FileGroup& group : GROUPS) {
    for (int i = 0; i < std::max(1, group.m_count / scale); ++i, ++serial) {
      const std::string relative = "data/g" + std::to_string(group.m_size / 1024) + "k/d" +
                                   std::to_string(i % 8) + "/f" + std::to_string(i) + ".bin";
      FillRandom(&old_bytes, group.m_size, serial);
      if (!WriteFile(install + "/" + relative, old_bytes)) return false;
      sample->m_installBytes += old_bytes.size();
      std::string manifest_path = relative;
      NormalizeSeparators(manifest_path, '\\');
      if (i % group.m_patchedEvery == 0) {
        new_bytes = old_bytes;
        Rewrite(&new_bytes, serial * 7919);
        const std::string new_path = scratch + "/new.bin";
        if (!WriteFile(new_path, new_bytes)) return false;
        std::string diff = JoinPath(patch, DiffDataName(manifest_path));
        NormalizeSeparators(diff);
        fs::create_directories(fs::path(diff).parent_path());
        std::vector<std::string> arguments = {"-e", "-f", "-D", "-R", "-S", "none", "-A="};
        if (old_bytes.size() > 64 * MIB) {
          arguments.insert(arguments.end(), {"-B", std::to_string(old_bytes.size())});
        }
        arguments.insert(arguments.end(), {"-s", install + "/" + relative, new_path, diff});
        if (Run("xdelta3", arguments) != 0) return false;
        std::string source_md5, target_md5;
        ComputeFileChecksum(install + "/" + relative, &source_md5);
        ComputeFileChecksum(new_path, &target_md5);
        patched.push_back({manifest_path, target_md5, source_md5});
        sample->m_patched.push_back(relative);
        sample->m_targetMd5.push_back(target_md5);
        sample->m_patchedBytes += old_bytes.size();
        sample->m_changedBytes += old_bytes.size() / 5;
      } else if (group.m_size < MIB && i % DELETED_EVERY == 1) {
        deleted.push_back({manifest_path, "", ""});
        sample->m_deleted.push_back(relative);
        sample->m_changedBytes += old_bytes.size();
      }
    }
  }
  for (int i = 0; i < std::max(1, ADDED_FILES / scale); ++i) {
    const std::string relative = "data/new/n" + std::to_string(i) + ".bin";
    std::string manifest_path = relative;
    NormalizeSeparators(manifest_path, '\\');
    FillRandom(&new_bytes, ADDED_SIZE, 100000 + i);
    if (!WriteFile(patch + "/data/" + relative, new_bytes)) return false;
    std::string md5;
    ComputeFileChecksum(patch + "/data/" + relative, &md5);
    added.push_back({manifest_path, md5, ""});
    sample->m_added.push_back(relative);
    sample->m_changedBytes += new_bytes.size();
  }
  // In path order, as the patch author writes them.
  for (std::vector<ManifestEntry>* list : {&added, &deleted, &patched}) {
    std::sort(list->begin(), list->end(),
              [](const ManifestEntry& a, const ManifestEntry& b) { return a.m_path < b.m_path; });
  }
  std::string error;
  return WriteManifest(patch + "/" + MANIFEST_ADDED, added, &error) &&
         WriteManifest(patch + "/" + MANIFEST_DELETED, deleted, &error) &&
         WriteManifest(patch + "/" + MANIFEST_PATCHED, patched, &error);
}

}  // namespace

int main(int argc, char** argv) {
  std::string base = TemporaryDirectory();
  int scale = 1;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--dir") base = argv[++i];
    if (std::string(argv[i]) == "--scale") scale = std::max(1, std::atoi(argv[++i]));
  }
  std::string work = base;
  if (!MakeUniqueTempDirectory(&work)) {
    std::fprintf(stderr, "patch_bench: cannot create a folder in %s\n", base.c_str());
    return 1;
  }
  const std::string install = work + "/install";
  const std::string patch = work + "/patch";
  const std::string scratch = work + "/scratch";
  const std::string baseline = work + "/baseline";
  fs::create_directories(scratch);
  fs::create_directories(baseline);
  fs::create_directories(install + "/bin");
  const fs::path programs = fs::path(OS::GetExecutablePath()).parent_path();
  fs::copy_file(programs / PATCH_DIFF_TOOL, fs::path(install) / "bin" / PATCH_DIFF_TOOL);

  Sample sample;
  std::printf("patch_bench: writing the sample installation and its patch in %s\n", work.c_str());
  const bool generated = Generate(install, patch, scratch, scale, &sample);
  int result = generated ? 0 : 1;
  if (generated) {
    std::printf(
        "installation %.0f MiB, patched files %zu (%.0f MiB), added %zu, changed %.0f MiB "
        "(%.1f %%)\n",
        sample.m_installBytes / double(MIB), sample.m_patched.size(),
        sample.m_patchedBytes / double(MIB), sample.m_added.size(),
        sample.m_changedBytes / double(MIB), 100.0 * sample.m_changedBytes / sample.m_installBytes);

    // Every patched and deleted file keeps a second name, so that each
    // round can put the old build back without copying.
    const std::string saved = work + "/saved";
    for (const std::vector<std::string>* list : {&sample.m_patched, &sample.m_deleted}) {
      for (const std::string& relative : *list) {
        fs::create_directories(fs::path(saved + "/" + relative).parent_path());
        fs::create_hard_link(install + "/" + relative, saved + "/" + relative);
      }
    }

    std::vector<double> tools_times, engine_times;
    for (int round = 0; round < BENCH_ROUNDS && result == 0; ++round) {
      fs::create_directories(baseline);
      Run("sync", {});
      Clock::time_point start = Clock::now();
      double cpu_start = CpuSeconds();
      int serial = 0;
      for (const std::string& relative : sample.m_patched) {
        std::string diff = JoinPath(patch, DiffDataName(relative));
        NormalizeSeparators(diff);
        result |= Run("xdelta3", {"-d", "-f", "-D", "-R", "-s", install + "/" + relative, diff,
                                  baseline + "/p" + std::to_string(serial++)});
      }
      for (const std::string& relative : sample.m_added) {
        result |=
            Run("cp", {patch + "/data/" + relative, baseline + "/a" + std::to_string(serial++)});
      }
      const double tools = Seconds(start);
      const double tools_cpu = CpuSeconds() - cpu_start;
      RemoveTree(baseline);

      Run("sync", {});
      start = Clock::now();
      cpu_start = CpuSeconds();
      const bool applied = ApplyPatchDirectory(install, patch, PATCH_LAST_FILE_NAME);
      const double engine = Seconds(start);
      const double engine_cpu = CpuSeconds() - cpu_start;
      if (!applied) result = 1;

      // Check the result, then put the old build back, outside the timing.
      int wrong = 0;
      for (std::size_t i = 0; i < sample.m_patched.size(); ++i) {
        std::string md5;
        const std::string path = install + "/" + sample.m_patched[i];
        if (!ComputeFileChecksum(path, &md5) || md5 != sample.m_targetMd5[i]) ++wrong;
        fs::remove(path);
        fs::create_hard_link(saved + "/" + sample.m_patched[i], path);
      }
      for (const std::string& relative : sample.m_deleted) {
        if (!fs::exists(install + "/" + relative)) {
          fs::create_hard_link(saved + "/" + relative, install + "/" + relative);
        }
      }
      for (const std::string& relative : sample.m_added) fs::remove(install + "/" + relative);
      if (wrong != 0) result = 1;

      std::printf("round %d: tools %.3f s (cpu %.3f s), engine %.3f s (cpu %.3f s) %s, %d wrong\n",
                  round + 1, tools, tools_cpu, engine, engine_cpu, applied ? "ok" : "FAILED",
                  wrong);
      tools_times.push_back(tools);
      engine_times.push_back(engine);
    }
    if (result == 0) {
      std::sort(tools_times.begin(), tools_times.end());
      std::sort(engine_times.begin(), engine_times.end());
      const double tools = tools_times[tools_times.size() / 2];
      const double engine = engine_times[engine_times.size() / 2];
      std::printf("xdelta3 -d per file + cp of added files: %.3f s (%.0f MB/s of patched bytes)\n",
                  tools, sample.m_patchedBytes / 1e6 / tools);
      std::printf("ApplyPatchDirectory:                     %.3f s (%.0f MB/s)\n", engine,
                  sample.m_patchedBytes / 1e6 / engine);
      std::printf("ratio engine / tools (medians of %d rounds): %.2f (target <= 1.20)\n",
                  BENCH_ROUNDS, engine / tools);
    }
  }
  RemoveTree(work);
  return result;
}

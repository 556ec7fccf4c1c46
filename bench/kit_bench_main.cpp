// kit_bench: throughput of the kit layer.
//
//   kit_bench [--dir DIR] [--md5-mib N] [--inflate-mib N]
//
// MD5: ComputeFileChecksum over a file of N MiB (default 1024) in DIR
// (default the temporary directory), warm page cache, against md5sum and
// openssl dgst -md5 on the same file. Inflate: BramUtil::DecompressData over
// the compressed streams of a mixed set of files (N MiB, default 256)
// against zlib's uncompress of the same streams, both memory to memory; then
// one stream of a single 256 MiB block inflated file to file, with the growth
// of the resident set while it runs. Files are removed at the end.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kit/compressed_stream.h"
#include "kit/data_buffer_file.h"
#include "kit/data_buffer_memory_dynamic.h"
#include "kit/data_buffer_memory_static.h"
#include "kit/file_checksum.h"
#include "kit/little_endian.h"

namespace {

constexpr double MIB = 1024.0 * 1024.0;

struct SplitMix {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
};

constexpr int ROUNDS = 5;

double SecondsOf(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return took.count();
}

std::string Quote(const std::string& path) { return "'" + path + "'"; }

// Runs a digest command writing "<hex> ..." into `out`; returns its first 32 chars.
std::string RunDigestTool(const std::string& command, const std::string& out) {
  if (std::system((command + " > " + Quote(out) + " 2>/dev/null").c_str()) != 0) return "";
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  // md5sum: "<hex>  path"; openssl: "MD5(path)= <hex>".
  const std::size_t eq = line.find("= ");
  return eq != std::string::npos ? line.substr(eq + 2, 32) : line.substr(0, 32);
}

std::uint64_t ResidentKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0)
      return std::strtoull(line.c_str() + std::strlen(field), nullptr, 10);
  }
  return 0;
}

void BenchMd5(const std::string& dir, std::uint64_t mib) {
  const std::string path = dir + "/kit_bench_md5.bin";
  {
    BramDataBufferFile file(path, BRAMFILE_MODE_CREATE);
    if (!file.IsOpen()) {
      std::printf("md5: cannot create %s\n", path.c_str());
      return;
    }
    std::vector<std::uint64_t> piece(1 << 17);  // 1 MiB
    SplitMix random{42};
    for (std::uint64_t i = 0; i < mib; ++i) {
      for (auto& word : piece) word = random.Next();
      if (file.WriteData(piece.data(), 1 << 20) != BRAMRESULT_OK) {
        std::printf("md5: write failed\n");
        return;
      }
    }
  }
  std::string ours;
  ComputeFileChecksum(path, &ours);  // warms the page cache
  const double bytes = static_cast<double>(mib) * MIB;
  const std::string out = dir + "/kit_bench_md5.out";
  std::string theirs_md5sum, theirs_openssl;
  // Rounds alternate between the three, so that load from other processes
  // falls on all of them alike; the best round of each counts.
  double t_ours = 1e30, t_md5sum = 1e30, t_openssl = 1e30;
  for (int round = 0; round < ROUNDS; ++round) {
    t_ours = std::min(t_ours, SecondsOf([&] { ComputeFileChecksum(path, &ours); }));
    t_md5sum = std::min(
        t_md5sum, SecondsOf([&] { theirs_md5sum = RunDigestTool("md5sum " + Quote(path), out); }));
    t_openssl = std::min(t_openssl, SecondsOf([&] {
                           theirs_openssl = RunDigestTool("openssl dgst -md5 " + Quote(path), out);
                         }));
  }
  std::remove(out.c_str());
  std::remove(path.c_str());

  std::printf("MD5 of a %llu MiB file (warm cache, best of %d alternating rounds)\n",
              static_cast<unsigned long long>(mib), ROUNDS);
  std::printf("  ComputeFileChecksum  %8.1f MB/s  %s\n", bytes / 1e6 / t_ours, ours.c_str());
  std::printf("  md5sum               %8.1f MB/s  %s  ratio %.3f\n", bytes / 1e6 / t_md5sum,
              theirs_md5sum == ours ? "same digest" : "DIGEST DIFFERS", t_md5sum / t_ours);
  std::printf("  openssl dgst -md5    %8.1f MB/s  %s  ratio %.3f\n", bytes / 1e6 / t_openssl,
              theirs_openssl == ours ? "same digest" : "DIGEST DIFFERS", t_openssl / t_ours);
}

// One file of a mixed tree: text-like, random, runs of zeros, or a mixture.
std::string MakeFile(SplitMix& random, std::size_t size) {
  std::string bytes(size, '\0');
  static const char* const WORDS[] = {"patch ",   "archive ", "<entry name=\"", "\"/>\n",
                                      "texture ", "0.5f, ",   "mesh_",          "\r\n"};
  const unsigned kind = random.Next() % 4;
  std::size_t at = 0;
  while (at < size) {
    const unsigned part = kind == 3 ? random.Next() % 3 : kind;
    const std::size_t run = std::min<std::size_t>(size - at, 256 + random.Next() % 4096);
    if (part == 0) {
      for (std::size_t end = at + run; at < end;) {
        const char* word = WORDS[random.Next() % 8];
        for (; *word && at < end; ++word) bytes[at++] = *word;
      }
    } else if (part == 1) {
      for (std::size_t end = at + run; at < end; ++at) bytes[at] = static_cast<char>(random.Next());
    } else {
      at += run;  // zeros
    }
  }
  return bytes;
}

void BenchInflate(const std::string& dir, std::uint64_t mib) {
  SplitMix random{7};
  std::vector<std::string> streams;
  std::uint64_t total = 0;
  std::size_t largest = 0;
  std::string concatenated;
  const std::uint64_t target = mib << 20;
  while (total < target) {
    // Mostly small files, some large ones.
    std::size_t size = random.Next() % 4 == 0 ? 1024 * 1024 + random.Next() % (7 << 20)
                                              : 512 + random.Next() % (256 * 1024);
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, target - total));
    std::string data = MakeFile(random, size);
    concatenated += data;
    BramDataBufferMemoryStatic source(data.data(), static_cast<std::uint32_t>(data.size()));
    BramDataBufferMemoryDynamic stream;
    if (BramUtil::CompressData(stream, source) != BRAMRESULT_OK) {
      std::printf("inflate: CompressData failed\n");
      return;
    }
    streams.emplace_back(reinterpret_cast<const char*>(stream.GetData()), stream.GetSize());
    total += size;
    largest = std::max(largest, size);
  }
  std::uint64_t compressed = 0;
  for (const auto& s : streams) compressed += s.size();

  std::vector<std::uint8_t> area(largest);
  bool zlib_ok = true;
  BramDataBufferMemoryDynamic out;
  std::string check;
  bool ours_ok = true;
  auto run_ours = [&](bool keep) {
    for (auto& s : streams) {
      BramDataBufferMemoryStatic source(s.data(), static_cast<std::uint32_t>(s.size()));
      out.SetSize(0);
      if (BramUtil::DecompressData(out, source) != BRAMRESULT_OK) ours_ok = false;
      if (keep) check.append(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
    }
  };
  run_ours(true);
  const bool same = check == concatenated;
  check.clear();
  check.shrink_to_fit();
  auto run_zlib = [&] {
    for (const auto& s : streams) {
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data());
      if (LoadLittleEndian32(bytes) == 0) continue;
      uLongf size = LoadLittleEndian32(bytes + 8);
      if (uncompress(area.data(), &size, bytes + 12, LoadLittleEndian32(bytes + 4)) != Z_OK) {
        zlib_ok = false;
      }
    }
  };
  double t_zlib = 1e30, t_ours = 1e30;
  for (int round = 0; round < ROUNDS; ++round) {
    t_zlib = std::min(t_zlib, SecondsOf(run_zlib));
    t_ours = std::min(t_ours, SecondsOf([&] { run_ours(false); }));
  }

  const double bytes = static_cast<double>(total);
  std::printf(
      "Inflate of %zu streams, %.0f MiB -> %.0f MiB (memory to memory, best of %d alternating "
      "rounds)\n",
      streams.size(), compressed / MIB, bytes / MIB, ROUNDS);
  std::printf("  zlib uncompress      %8.1f MB/s%s\n", bytes / 1e6 / t_zlib,
              zlib_ok ? "" : "  (ERRORS)");
  std::printf("  DecompressData       %8.1f MB/s  %s  ratio %.2f\n", bytes / 1e6 / t_ours,
              ours_ok && same ? "same data" : "DATA DIFFERS", t_zlib / t_ours);
  streams.clear();
  streams.shrink_to_fit();

  // One stream holding a single block of up to 256 MiB, file to file.
  const std::string in_path = dir + "/kit_bench_inflate.in";
  const std::string stream_path = dir + "/kit_bench_inflate.stream";
  const std::string out_path = dir + "/kit_bench_inflate.out";
  concatenated.resize(std::min<std::size_t>(concatenated.size(), BRAMUTIL_MAX_BLOCK_SIZE));
  {
    std::ofstream(in_path, std::ios::binary) << concatenated;
    BramDataBufferFile source(in_path, BRAMFILE_MODE_READ);
    BramDataBufferFile stream(stream_path, BRAMFILE_MODE_CREATE);
    if (BramUtil::CompressData(stream, source) != BRAMRESULT_OK) {
      std::printf("inflate: CompressData to file failed\n");
      return;
    }
  }
  { std::ofstream("/proc/self/clear_refs") << "5"; }  // restart the peak at the current size
  const std::uint64_t before = ResidentKiB("VmRSS:");
  bool file_ok = true;
  const double t_file = SecondsOf([&] {
    BramDataBufferFile stream(stream_path, BRAMFILE_MODE_READ);
    BramDataBufferFile sink(out_path, BRAMFILE_MODE_CREATE);
    if (BramUtil::DecompressData(sink, stream) != BRAMRESULT_OK) file_ok = false;
  });
  const std::uint64_t peak = ResidentKiB("VmHWM:");
  std::string back;
  {
    std::ifstream in(out_path, std::ios::binary);
    back.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::printf("Inflate of one %.0f MiB block, file to file\n", concatenated.size() / MIB);
  std::printf("  DecompressData       %8.1f MB/s  %s  resident set grew by %.1f MiB\n",
              concatenated.size() / 1e6 / t_file,
              file_ok && back == concatenated ? "same data" : "DATA DIFFERS",
              (peak - before) / 1024.0);
  std::remove(in_path.c_str());
  std::remove(stream_path.c_str());
  std::remove(out_path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = std::filesystem::temp_directory_path().string();
  std::uint64_t md5_mib = 1024;
  std::uint64_t inflate_mib = 256;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--dir") {
      dir = argv[i + 1];
    } else if (option == "--md5-mib") {
      md5_mib = std::strtoull(argv[i + 1], nullptr, 10);
    } else if (option == "--inflate-mib") {
      inflate_mib = std::strtoull(argv[i + 1], nullptr, 10);
    } else {
      std::fprintf(stderr, "usage: kit_bench [--dir DIR] [--md5-mib N] [--inflate-mib N]\n");
      return 2;
    }
  }
  if (md5_mib != 0) BenchMd5(dir, md5_mib);
  if (inflate_mib != 0) BenchInflate(dir, inflate_mib);
  return 0;
}

// engine_bench: throughput of the patch archive and package layer.
//
//   engine_bench [--dir DIR] [--mib N]
//
// Builds a mixed tree of about N MiB (default 1024) in DIR (default the
// temporary directory): a few large files, many medium and small ones, some
// empty, each random, half-entropy or text-like. Packs it, then measures
// with a warm page cache:
//   - unpack: UnpackArchive of the whole archive into a fresh folder, in MB/s
//     of unpacked bytes, against zlib's uncompress of the same streams
//     (memory to memory, inflate time only), and the peak resident set
//     while it runs;
//   - extract: PatchPackage::ExtractArchive of the archive out of a package,
//     in MB/s, against cp of the archive file.
// Everything it writes is removed at the end.
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/archive_reader.h"
#include "engine/archive_writer.h"
#include "engine/package_reader.h"
#include "engine/package_writer.h"
#include "engine/temp_directory.h"
#include "kit/data_buffer_file.h"
#include "kit/little_endian.h"

namespace {

namespace fs = std::filesystem;
using namespace BramPatch;

constexpr double MB = 1e6;

struct SplitMix {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
};

double SecondsOf(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return took.count();
}

// Kind 0 random, 1 half entropy (one random nibble per byte), 2 text-like.
void FillBytes(std::string* bytes, size_t size, int kind, SplitMix* random) {
  static const char WORDS[] = "alpha beta gamma delta kestro patch build data assets\n";
  bytes->resize(size);
  for (size_t i = 0; i < size; i += 8) {
    std::uint64_t r = random->Next();
    for (size_t k = 0; k < 8 && i + k < size; ++k, r >>= 8) {
      unsigned char c = static_cast<unsigned char>(r);
      (*bytes)[i + k] = kind == 0   ? static_cast<char>(c)
                        : kind == 1 ? static_cast<char>(c & 0x0F)
                                    : WORDS[c % (sizeof WORDS - 1)];
    }
  }
}

std::uint64_t WriteMixedTree(const std::string& root, std::uint64_t total) {
  SplitMix random{42};
  std::string bytes;
  std::uint64_t written = 0;
  int file = 0;
  auto write = [&](const std::string& relative, size_t size) {
    fs::path path = fs::path(root) / relative;
    fs::create_directories(path.parent_path());
    FillBytes(&bytes, size, file % 3, &random);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    written += size;
    ++file;
  };
  const std::uint64_t large = total * 2 / 5;
  write("data/bin/large0.pak", large / 2);
  write("data/bin/large1.pak", large / 2);
  for (int i = 0; written < total * 4 / 5; ++i) {
    write("data/medium/m" + std::to_string(i / 100) + "/file" + std::to_string(i) + ".dat",
          (1 << 20) + (random.Next() % (1 << 20)));
  }
  for (int i = 0; written < total; ++i) {
    write("data/small/s" + std::to_string(i / 200) + "/file" + std::to_string(i) + ".txt",
          random.Next() % (64 << 10));
    if (i % 50 == 0) write("data/small/empty" + std::to_string(i) + ".txt", 0);
  }
  return written;
}

// Inflates every stream of the archive with zlib's uncompress, memory to
// memory; returns the seconds spent inside uncompress and the bytes it made.
double ZlibUncompressSeconds(const std::string& archive, std::uint64_t* produced) {
  std::ifstream in(archive, std::ios::binary);
  std::vector<std::uint8_t> compressed;
  std::vector<std::uint8_t> plain;
  double seconds = 0;
  *produced = 0;
  std::uint8_t field[8];
  in.read(reinterpret_cast<char*>(field), 4);  // version
  while (in.read(reinterpret_cast<char*>(field), 4)) {
    const std::uint32_t blocks = LoadLittleEndian32(field);
    for (std::uint32_t b = 0; b < blocks; ++b) {
      in.read(reinterpret_cast<char*>(field), 8);
      const std::uint32_t c = LoadLittleEndian32(field);
      const std::uint32_t u = LoadLittleEndian32(field + 4);
      if (compressed.size() < c) compressed.resize(c);
      if (plain.size() < u) plain.resize(u);
      in.read(reinterpret_cast<char*>(compressed.data()), c);
      uLongf length = u;
      seconds += SecondsOf([&] { uncompress(plain.data(), &length, compressed.data(), c); });
      *produced += length;
    }
  }
  return seconds;
}

std::uint64_t PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace

int main(int argc, char** argv) {
  std::string work;
  std::uint64_t mib = 1024;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--dir") == 0) work = argv[i + 1];
    if (std::strcmp(argv[i], "--mib") == 0) mib = std::strtoull(argv[i + 1], nullptr, 10);
  }
  if (!MakeUniqueTempDirectory(&work)) {
    std::fprintf(stderr, "engine_bench: cannot create a work folder\n");
    return 1;
  }
  const std::string tree = work + "/tree";
  const std::string archive = work + "/patch.zip";
  std::string error;

  std::uint64_t bytes = WriteMixedTree(tree, mib << 20);
  std::vector<PackItem> items;
  double pack = SecondsOf([&] { PackDirectory(tree, archive, &error, &items); });
  if (!error.empty()) {
    std::fprintf(stderr, "engine_bench: %s\n", error.c_str());
    return 1;
  }
  fs::remove_all(tree);
  const std::uint64_t archive_size = fs::file_size(archive);
  std::printf("tree: %zu entries, %.1f MB; archive %.1f MB; pack %.1f MB/s\n", items.size(),
              bytes / MB, archive_size / MB, bytes / MB / pack);

  std::uint64_t zlib_bytes = 0;
  double zlib = ZlibUncompressSeconds(archive, &zlib_bytes);
  double unpack = 1e30;
  std::uint64_t peak_kib = 0;
  for (int round = 0; round < 2; ++round) {
    const std::string out = work + "/out";
    fs::create_directories(out);
    ResetPeakResident();
    UnpackCounts counts;
    double took = SecondsOf([&] { UnpackArchive(archive, out, &error, &counts); });
    peak_kib = std::max(peak_kib, PeakResidentKiB());
    if (counts.m_bytes != bytes) {
      std::fprintf(stderr, "engine_bench: unpack failed: %s\n", error.c_str());
      return 1;
    }
    unpack = std::min(unpack, took);
    fs::remove_all(out);
  }
  std::printf("unpack: %.1f MB/s of unpacked data; zlib uncompress alone %.1f MB/s; ratio %.2f\n",
              bytes / MB / unpack, zlib_bytes / MB / zlib, (bytes / unpack) / (zlib_bytes / zlib));
  std::printf("unpack: peak resident set %.1f MiB\n", peak_kib / 1024.0);

  // A package behind a 4 MiB stand-in executable.
  const std::string exe = work + "/patcher";
  const std::string package_path = work + "/patcher-package";
  {
    std::string image(4 << 20, 'x');
    std::ofstream(exe, std::ios::binary).write(image.data(), image.size());
  }
  PackageInput input;
  input.m_record = {"bin\\Launcher.exe", "d41d8cd98f00b204e9800998ecf8427e", "100", "101", 0, 0};
  input.m_archivePath = archive;
  if (!WritePackage(exe, {input}, package_path, &error)) {
    std::fprintf(stderr, "engine_bench: %s\n", error.c_str());
    return 1;
  }
  fs::remove(archive);
  PatchPackage package;
  if (package.OpenPackage(package_path) != BRAMRESULT_OK) return 1;
  const std::string extracted = work + "/extracted.zip";
  double extract = 1e30;
  double cp = 1e30;
  for (int round = 0; round < 3; ++round) {
    extract = std::min(extract, SecondsOf([&] { package.ExtractArchive("100", extracted); }));
    fs::remove(extracted);
    const std::string command = "cp '" + package_path + "' '" + extracted + "'";
    cp = std::min(cp, SecondsOf([&] { (void)std::system(command.c_str()); }));
    fs::remove(extracted);
  }
  std::printf("extract: %.1f MB/s; cp of the whole package %.1f MB/s; ratio %.2f\n",
              archive_size / MB / extract, fs::file_size(package_path) / MB / cp,
              (archive_size / extract) / (fs::file_size(package_path) / cp));
  fs::remove_all(work);
  return 0;
}

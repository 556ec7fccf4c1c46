// repair_bench: a full repair of a generated installation against rsync,
// and the scan against cksum. Figures, not a test; run on an idle machine:
//
//   repair_bench [--size-mib 2048] [--damaged-percent 3] [--dir DIR]
//
// It builds a reference tree of mixed files (compressible and not), two
// copies with the same files damaged, serves the reference with
// omvel-repair-server and with an rsync daemon on 127.0.0.1, and times:
//  - the full repair of copy A (scan without a checksum file, transfer,
//    write) against `rsync -a --checksum` of copy B from the daemon;
//  - a scan of the repaired tree without a checksum file against `cksum` of
//    the same files (page cache warm for both);
//  - a second scan with the saved checksum file, which must read no data.
#include <signal.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/child_process.h"
#include "kit/data_buffer_file.h"
#include "repair/agent_client.h"
#include "repair/file_tree_summary.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }
};

void FillRandom(Random& random, std::string& bytes) {
  for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    const std::uint64_t word = random.Next();
    std::memcpy(&bytes[i], &word, 8);
  }
}

// Text-like bytes that compress about 3:1.
void FillText(Random& random, std::string& bytes) {
  static const char* WORDS[] = {"kestro ", "segment ", "asset ", "terrain ", "vehicle ",
                                "shader ", "0.125 ",   "1.5 ",   "true\n",   "model "};
  std::size_t at = 0;
  while (at < bytes.size()) {
    const char* word = WORDS[random.Below(10)];
    for (const char* c = word; *c != '\0' && at < bytes.size(); ++c) bytes[at++] = *c;
  }
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Generates the reference tree; returns its files' relative paths.
std::vector<std::string> MakeReference(const fs::path& root, std::uint64_t total) {
  Random random{0x9E3779B97F4A7C15ull};
  std::vector<std::string> files;
  std::uint64_t written = 0;
  std::string bytes;
  while (written < total) {
    const std::uint64_t kind = random.Below(10);
    std::uint64_t size = kind < 6   ? 4096 + random.Below(512 << 10)
                         : kind < 9 ? (1 << 20) + random.Below(7 << 20)
                                    : (16 << 20) + random.Below(48 << 20);
    if (written + size > total) size = total - written;
    bytes.assign(size, '\0');
    if (random.Below(2) == 0) {
      FillRandom(random, bytes);
    } else {
      FillText(random, bytes);
    }
    const std::string relative = "data" + std::to_string(files.size() % 17) + "/sub" +
                                 std::to_string(files.size() % 5) + "/file" +
                                 std::to_string(files.size()) + ".bin";
    WriteFile(root / relative, bytes);
    files.push_back(relative);
    written += size;
  }
  return files;
}

// Damages `percent` of the files the same way in every root: 4 KiB
// overwritten at a random place.
std::size_t Damage(const std::vector<fs::path>& roots, const std::vector<std::string>& files,
                   unsigned percent) {
  Random random{12345};
  std::size_t damaged = 0;
  std::string patch(4096, '\0');
  for (const std::string& file : files) {
    if (random.Below(100) >= percent) continue;
    FillRandom(random, patch);
    const std::uint64_t size = fs::file_size(roots.front() / file);
    const std::uint64_t offset = size > patch.size() ? random.Below(size - patch.size()) : 0;
    for (const fs::path& root : roots) {
      std::fstream out(root / file, std::ios::binary | std::ios::in | std::ios::out);
      out.seekp(static_cast<std::streamoff>(offset));
      out.write(patch.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(size, 4096)));
    }
    ++damaged;
  }
  return damaged;
}

// Runs a command line through /bin/sh to its end; returns its exit code.
int RunShell(const std::string& command, std::string* output = nullptr) {
  ChildProcess* child = StartChildProcess("/bin/sh", "-c \"" + command + "\"");
  if (child == nullptr) return -1;
  std::string text;
  while (ReadChildOutput(child, text)) {
  }
  WaitChild(child, CHILD_WAIT_INFINITE);
  const int code = ChildExitCode(child);
  CloseChild(child);
  delete child;
  if (output != nullptr) *output = text;
  return code;
}

std::uint16_t FreeLoopbackPort() {
  asio::io_context context;
  asio::ip::tcp::acceptor probe(context,
                                asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  return probe.local_endpoint().port();
}

// A child that runs until stopped; its output is read on a thread.
class Daemon {
 public:
  Daemon(const std::string& executable, const std::string& arguments)
      : m_child(StartChildProcess(executable, arguments)) {
    if (m_child == nullptr) return;
    m_reader = std::thread([this] {
      std::string chunk;
      while (ReadChildOutput(m_child, chunk)) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_output += chunk;
        chunk.clear();
      }
    });
  }
  ~Daemon() {
    if (m_child == nullptr) return;
    kill(m_child->m_pid, SIGTERM);
    if (!WaitChild(m_child, 10000)) KillChild(m_child);
    WaitChild(m_child, CHILD_WAIT_INFINITE);
    m_reader.join();
    CloseChild(m_child);
    delete m_child;
  }
  bool Started() const { return m_child != nullptr; }
  // Waits (at most a minute) for `pattern` in the output.
  bool WaitFor(const std::regex& pattern, std::smatch* match) {
    for (int i = 0; i < 60000; ++i) {
      {
        std::lock_guard<std::mutex> guard(m_lock);
        m_copy = m_output;
      }
      if (std::regex_search(m_copy, *match, pattern)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

 private:
  ChildProcess* m_child;
  std::thread m_reader;
  std::mutex m_lock;
  std::string m_output;
  std::string m_copy;
};

class CountingSummary : public FileTreeSummary {
 public:
  bool ReadFileSegment(const std::string& full_key, std::uint8_t* bytes,
                       std::uint32_t* length) override {
    ++m_reads;
    return FileTreeSummary::ReadFileSegment(full_key, bytes, length);
  }
  int m_reads = 0;
};

struct RepairRun {
  bool succeeded = false;
  double seconds = 0;
  std::uint32_t segments = 0;
};

RepairRun Repair(const fs::path& root, const BramSocketAddress& server) {
  const auto start = Clock::now();
  BramAgentClient client;
  client.SetRootDirectory(root.string());
  client.SetChecksumFile((root / "repair.cks").string());
  client.SetServerAddress(server);
  client.SetExclusions({(root / "unins000.exe").string()});
  client.Start();
  while (client.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return RepairRun{client.Succeeded(), Seconds(start), client.GetTotalCount()};
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t size_mib = 2048;
  unsigned percent = 3;
  fs::path base = fs::temp_directory_path() /
                  ("omvel-repair-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--size-mib") size_mib = std::strtoull(argv[i + 1], nullptr, 10);
    if (option == "--damaged-percent") percent = static_cast<unsigned>(std::atoi(argv[i + 1]));
    if (option == "--dir") base = argv[i + 1];
  }
  const std::string bin = fs::canonical("/proc/self/exe").parent_path().string();
  const fs::path reference = base / "reference";
  const fs::path copy_a = base / "installed-a";
  const fs::path copy_b = base / "installed-b";
  fs::remove_all(base);
  fs::create_directories(base);

  auto start = Clock::now();
  const std::vector<std::string> files = MakeReference(reference, size_mib << 20);
  fs::copy(reference, copy_a, fs::copy_options::recursive);
  fs::copy(reference, copy_b, fs::copy_options::recursive);
  const std::size_t damaged = Damage({copy_a, copy_b}, files, percent);
  std::printf("installation: %zu files, %llu MiB, %zu damaged (%.1f s to generate)\n", files.size(),
              static_cast<unsigned long long>(size_mib), damaged, Seconds(start));

  start = Clock::now();
  Daemon server(bin + "/omvel-repair-server",
                "--bind 127.0.0.1 --port 0 \"" + reference.string() + "\"");
  std::smatch match;
  if (!server.Started() ||
      !server.WaitFor(std::regex("listening on 127\\.0\\.0\\.1:([0-9]+)"), &match)) {
    std::fprintf(stderr, "repair_bench: the repair server did not start\n");
    return 1;
  }
  const BramSocketAddress address{BRAM_LOOPBACK_ADDRESS,
                                  static_cast<std::uint16_t>(std::stoi(match[1].str()))};
  std::printf("repair server ready (reference scanned) in %.2f s\n", Seconds(start));

  const RepairRun first = Repair(copy_a, address);
  std::printf("full repair (scan, transfer, write): %.2f s, %u segments, %s\n", first.seconds,
              first.segments, first.succeeded ? "succeeded" : "FAILED");
  const RepairRun second = Repair(copy_a, address);
  std::printf("second repair: %.2f s, %u segments, %s\n", second.seconds, second.segments,
              second.succeeded ? "succeeded" : "FAILED");

  const std::uint16_t rsync_port = FreeLoopbackPort();
  const fs::path config = base / "rsyncd.conf";
  std::ofstream(config) << "[ref]\npath = " << reference.string()
                        << "\nread only = yes\nuse chroot = no\n";
  Daemon rsyncd("rsync", "--daemon --no-detach --address=127.0.0.1 --port=" +
                             std::to_string(rsync_port) + " --config=" + config.string());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  start = Clock::now();
  const int rsync_code =
      RunShell("rsync -a --checksum rsync://127.0.0.1:" + std::to_string(rsync_port) + "/ref/ " +
               copy_b.string() + "/");
  const double rsync_seconds = Seconds(start);
  std::printf("rsync -a --checksum: %.2f s (exit %d)\n", rsync_seconds, rsync_code);
  std::printf("repair / rsync: %.2f\n", first.seconds / rsync_seconds);

  std::uint64_t bytes = 0;
  for (const std::string& file : files) bytes += fs::file_size(copy_a / file);
  RunShell("cat $(find " + copy_a.string() + " -type f) > /dev/null");  // warm the cache
  start = Clock::now();
  FileTreeSummary scan;
  scan.RegisterTree(copy_a.string(), {"repair.cks", "unins000.exe"});
  const double scan_seconds = Seconds(start);
  start = Clock::now();
  RunShell("find " + copy_a.string() + " -type f -print0 | xargs -0 cksum > /dev/null");
  const double cksum_seconds = Seconds(start);
  std::printf("scan: %.0f MB/s, cksum: %.0f MB/s, scan / cksum: %.2f\n", bytes / scan_seconds / 1e6,
              bytes / cksum_seconds / 1e6, cksum_seconds / scan_seconds);

  CountingSummary cached;
  {
    BramDataBufferFile file((copy_a / "repair.cks").string(), BRAMFILE_MODE_READ);
    cached.LoadSummary(file);
  }
  start = Clock::now();
  cached.RegisterTree(copy_a.string(), {"repair.cks", "unins000.exe"});
  std::printf("second scan with repair.cks: %.3f s, %d segment reads\n", Seconds(start),
              cached.m_reads);

  fs::remove_all(base);
  return first.succeeded && second.succeeded && second.segments == 0 && cached.m_reads == 0 ? 0 : 1;
}

// download_bench: throughput of DownloadURL against curl -o.
//
//   download_bench [--dir DIR] [--mib N] [--rounds R]
//
// Serves one file of N MiB (default 1024) from an nginx started on
// 127.0.0.1 (a free port near a random one) out of DIR (default the
// temporary directory), then downloads it R times (default 3) with
// `curl -s -o` and with DownloadURL into a BramDataBufferFile, alternating,
// and prints the best throughput of each, their ratio and the peak resident
// set of this process (VmHWM). Warm page cache: run it on an otherwise idle
// machine. Everything it made is removed at the end.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "foundation/child_process.h"
#include "kit/data_buffer_file.h"
#include "online/download_url.h"
#include "online/inet_session.h"

namespace {

constexpr double MIB = 1024.0 * 1024.0;

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

bool WriteBigFile(const std::string& path, std::uint64_t mib) {
  std::ofstream out(path, std::ios::binary);
  std::mt19937_64 random(42);
  std::string block(1 << 20, '\0');
  for (std::uint64_t i = 0; i < mib && out; ++i) {
    for (size_t j = 0; j + 8 <= block.size(); j += 8) {
      const std::uint64_t value = random();
      std::memcpy(&block[j], &value, 8);
    }
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  return static_cast<bool>(out);
}

long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

double SecondsOf(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string base = std::filesystem::temp_directory_path().string();
  std::uint64_t mib = 1024;
  int rounds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--dir") == 0) base = argv[i + 1];
    if (std::strcmp(argv[i], "--mib") == 0) mib = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
  }
  setenv("no_proxy", "127.0.0.1", 1);
  const std::string dir = base + "/download_bench." + std::to_string(std::random_device()());
  std::filesystem::create_directories(dir + "/www");
  const std::string source = dir + "/www/big.bin";
  std::printf("writing %llu MiB ...\n", static_cast<unsigned long long>(mib));
  if (!WriteBigFile(source, mib)) {
    std::fprintf(stderr, "cannot write %s\n", source.c_str());
    return 1;
  }

  std::unique_ptr<ChildProcess> nginx;
  std::string url;
  std::mt19937 pick(std::random_device{}());
  for (int attempt = 0; attempt < 5 && url.empty(); ++attempt) {
    const int port = 20000 + static_cast<int>(pick() % 40000);
    std::ofstream(dir + "/nginx.conf")
        << "master_process off;\nerror_log " << dir << "/error.log;\npid " << dir
        << "/nginx.pid;\nevents { worker_connections 16; }\nhttp {\n  access_log off;\n"
        << "  client_body_temp_path " << dir << "/body;\n  proxy_temp_path " << dir
        << "/proxy;\n  fastcgi_temp_path " << dir << "/fastcgi;\n  uwsgi_temp_path " << dir
        << "/uwsgi;\n  scgi_temp_path " << dir << "/scgi;\n  sendfile on;\n"
        << "  server { listen 127.0.0.1:" << port << "; root " << dir << "/www; }\n}\n";
    nginx.reset(StartChildProcess("nginx", "-p " + Quote(dir) + " -c " +
                                               Quote(dir + "/nginx.conf") + " -e " +
                                               Quote(dir + "/error.log") + " -g \"daemon off;\""));
    if (nginx == nullptr) break;
    const std::string candidate = "http://127.0.0.1:" + std::to_string(port) + "/big.bin";
    std::uint64_t size = 0;
    BramInetTimeouts quick;
    quick.m_retry_wait_ms = 100;
    BramInetInternal::SetTimeouts(quick);
    if (GetURLSize(candidate, &size) == BRAMRESULT_OK && size == mib * (1 << 20)) url = candidate;
    BramInetInternal::SetTimeouts(BramInetTimeouts());
    if (url.empty()) {
      KillChild(nginx.get());
      WaitChild(nginx.get(), 5000);
    }
  }
  if (url.empty()) {
    std::fprintf(stderr, "nginx did not start (is nginx-light installed?)\n");
    std::filesystem::remove_all(dir);
    return 1;
  }

  const double bytes = static_cast<double>(mib) * MIB;
  const std::string target = dir + "/out.bin";
  double best_curl = 0;
  double best_ours = 0;
  for (int round = 0; round < rounds; ++round) {
    std::filesystem::remove(target);
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<ChildProcess> curl(
        StartChildProcess("curl", "-s -o " + Quote(target) + " " + url));
    std::string ignored;
    while (curl != nullptr && ReadChildOutput(curl.get(), ignored)) {
    }
    if (curl == nullptr || !WaitChild(curl.get(), CHILD_WAIT_INFINITE) ||
        ChildExitCode(curl.get()) != 0) {
      std::fprintf(stderr, "curl -o failed\n");
      break;
    }
    const double curl_rate = bytes / MIB / SecondsOf(start);

    std::filesystem::remove(target);
    start = std::chrono::steady_clock::now();
    BramResult result;
    {
      BramDataBufferFile file(target, BRAMFILE_MODE_CREATE);
      result = DownloadURL(url, file, 0, nullptr);
    }
    const double our_rate = bytes / MIB / SecondsOf(start);
    if (result != BRAMRESULT_OK || std::filesystem::file_size(target) != mib * (1 << 20)) {
      std::fprintf(stderr, "DownloadURL failed with %u\n", result);
      break;
    }
    std::printf("round %d: curl -o %.0f MiB/s, DownloadURL %.0f MiB/s\n", round + 1, curl_rate,
                our_rate);
    if (curl_rate > best_curl) best_curl = curl_rate;
    if (our_rate > best_ours) best_ours = our_rate;
  }

  KillChild(nginx.get());
  WaitChild(nginx.get(), 5000);
  std::filesystem::remove_all(dir);
  if (best_curl > 0) {
    std::printf(
        "best: curl -o %.0f MiB/s, DownloadURL %.0f MiB/s (%.2f x curl); peak RSS %.1f MiB\n",
        best_curl, best_ours, best_ours / best_curl, PeakResidentKiB() / 1024.0);
  }
  return best_curl > 0 ? 0 : 1;
}

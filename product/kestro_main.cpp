// Kestro.exe: the product's simulator (stand-in).
//   Kestro.exe                    prints a line and exits 0
//   Kestro.exe --run-seconds N    prints "running", then stays running for N
//                                 seconds (0 to 86400), as a product that is
//                                 in use; tests kill it or wait for it
// Anything else: a usage line on standard error, exit 2.
#include <chrono>
#include <iostream>
#include <string>
#include <thread>

namespace {

constexpr int KESTRO_EXIT_USAGE = 2;
constexpr long KESTRO_MAX_RUN_SECONDS = 86400;

bool ParseSeconds(const std::string& text, long* seconds) {
  if (text.empty() || text.size() > 5) return false;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > KESTRO_MAX_RUN_SECONDS) return false;
  *seconds = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long seconds = 0;
  if (argc == 3 && std::string(argv[1]) == "--run-seconds" && ParseSeconds(argv[2], &seconds)) {
    std::cout << "running" << std::endl;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return 0;
  }
  if (argc != 1) {
    std::cerr << "usage: Kestro.exe [--run-seconds N]   (N from 0 to 86400)\n";
    return KESTRO_EXIT_USAGE;
  }
  std::cout << "Kestro.exe: Kestro simulator (stand-in)\n";
  return 0;
}

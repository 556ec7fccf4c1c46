// Holds the ownership block of an asset database as a running product does:
//   database_holder_testchild <database path>
// attaches, prints "ready" (or "failed" and exits 1), then stays attached
// until it is ended.
#include <chrono>
#include <cstdio>
#include <thread>

#include "foundation/database_block_api.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (!OpenDatabaseBlock(argv[1], false)) {
    std::puts("failed");
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

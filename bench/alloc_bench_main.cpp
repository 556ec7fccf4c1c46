// Cost of one new + delete[] pair of a small block, called at a typical call
// depth, with the allocation tracker (alloc_bench) and without it
// (alloc_bench_untracked, built from this same file). Run both on an idle
// machine and compare:
//   build/bin/alloc_bench_untracked && build/bin/alloc_bench
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifndef ALLOC_BENCH_LABEL
#define ALLOC_BENCH_LABEL "untracked"
#endif

namespace {

constexpr int CALL_DEPTH = 12;  // frames between main and the allocating loop
constexpr int PAIRS = 1'000'000;
constexpr int LIVE_BLOCKS = 100'000;
volatile std::size_t g_size = 32;

__attribute__((noinline)) void AllocateAndFree(int pairs) {
  for (int i = 0; i < pairs; ++i) {
    char* block = new char[g_size];
    asm volatile("" : : "r"(block) : "memory");
    delete[] block;
  }
}

__attribute__((noinline)) void AtDepth(int depth, int pairs) {
  if (depth == 0) {
    AllocateAndFree(pairs);
    return;
  }
  AtDepth(depth - 1, pairs);
  asm volatile("" ::: "memory");  // no tail call: every level stays a frame
}

// Nanoseconds per pair, as each of `threads` threads sees it.
double NsPerPair(int threads) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; ++i) workers.emplace_back(AtDepth, CALL_DEPTH, PAIRS);
  for (std::thread& worker : workers) worker.join();
  const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
  return elapsed.count() / PAIRS;
}

}  // namespace

int main() {
  AtDepth(CALL_DEPTH, PAIRS / 10);  // warm up the heap and the unwinder's caches
  std::printf("%s: new+delete of %zu bytes at call depth %d\n", ALLOC_BENCH_LABEL,
              static_cast<std::size_t>(g_size), CALL_DEPTH);
  std::printf("  %-31s %7.1f ns per pair\n", "1 thread:", NsPerPair(1));
  std::printf("  %-31s %7.1f ns per pair and thread\n", "2 threads at once:", NsPerPair(2));
  {
    std::vector<std::unique_ptr<int>> live;
    for (int i = 0; i < LIVE_BLOCKS; ++i) live.push_back(std::make_unique<int>(i));
    const std::string label = "1 thread, " + std::to_string(LIVE_BLOCKS) + " blocks alive:";
    std::printf("  %-31s %7.1f ns per pair\n", label.c_str(), NsPerPair(1));
  }
  return 0;
}

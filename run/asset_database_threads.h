// The helper threads of an archive installation and of the asset-database
// rebuild: two tickers that keep the gauge moving (neither the engine nor the
// product's utility reports progress) and the thread that runs the utility.
//
// Each is joinable and stopped through its running flag; its owner clears the
// flag and waits for it before returning.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "run/guarded_thread.h"

struct ChildProcess;

namespace BramPatch {

// How often the tickers move the gauge.
inline constexpr std::chrono::milliseconds ASSET_TICKER_PERIOD{500};

// Minutes an archive installation is expected to take: twice its size in MiB,
// truncated (an archive under 512 KiB gives 0).
std::uint32_t EstimateInstallMinutes(std::uint64_t archiveBytes);

// Fills the gauge to one half in `minutes` minutes of ticks (range
// minutes × 120000, one tick adds 500), then sets it to that half.
class KADHackProgressThread : public wxGuardedThread {
 public:
  explicit KADHackProgressThread(std::uint32_t minutes,
                                 std::chrono::milliseconds period = ASSET_TICKER_PERIOD)
      : m_minutes(minutes), m_period(period) {}
  void Stop() { m_running = false; }

 protected:
  int GuardedEntry() override;

 private:
  std::atomic<bool> m_running{true};
  const std::uint32_t m_minutes;
  const std::chrono::milliseconds m_period;
};

// Moves the gauge through its second half for about ten minutes of ticks
// while the utility rebuilds the database, then fills it.
class KADRepairProgressThread : public wxGuardedThread {
 public:
  explicit KADRepairProgressThread(std::chrono::milliseconds period = ASSET_TICKER_PERIOD)
      : m_period(period) {}
  void Stop() { m_running = false; }

 protected:
  int GuardedEntry() override;

 private:
  std::atomic<bool> m_running{true};
  const std::chrono::milliseconds m_period;
};

// Runs the product's utility ("repairdatabase patcher") and posts its output:
// standard output and errors as ordinary texts (they share one pipe).
class KADRepairThread : public wxGuardedThread {
 public:
  explicit KADRepairThread(std::string installPath) : m_installPath(std::move(installPath)) {}
  // Clears the running flag and ends the utility (exit code 1 on Windows;
  // SIGKILL here) when one runs. Callable from any thread.
  void StopAndKill();

 protected:
  int GuardedEntry() override;

 private:
  const std::string m_installPath;
  std::mutex m_mutex;  // guards m_running and m_child
  bool m_running = true;
  ChildProcess* m_child = nullptr;  // the utility while it runs
};

}  // namespace BramPatch

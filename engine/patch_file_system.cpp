#include "engine/patch_file_system.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/child_process.h"
#include "foundation/paths.h"
#include "kit/file_checksum.h"

namespace BramPatch {

namespace {

// Keeps the first bytes a tool prints; the rest is read and dropped.
constexpr std::size_t PATCH_TOOL_OUTPUT_KEPT = 64 * 1024;

std::string Native(const std::string& path) {
  std::string copy = path;
  NormalizeSeparators(copy);
  return copy;
}

// After the tool has ended, how long its output may take to reach its end.
// Only a process that the tool left behind, holding the output open, makes
// it take longer; the rest of the output is then dropped.
constexpr auto PATCH_TOOL_OUTPUT_GRACE = std::chrono::seconds(2);

// One tool run, shared by the waiting thread and the thread that drains the
// tool's output; whichever lets go last frees it.
struct ToolRun {
  std::unique_ptr<ChildProcess> m_child;
  std::mutex m_lock;
  std::condition_variable m_drained;
  std::string m_output;       // guarded by m_lock
  bool m_outputDone = false;  // guarded by m_lock
};

// Reads the tool's output to its end, keeping the first bytes. Uses only
// the child's output side, so it may run beside WaitChild and KillChild.
void DrainToolOutput(const std::shared_ptr<ToolRun>& run) {
  std::string chunk;
  while (ReadChildOutput(run->m_child.get(), chunk)) {
    std::lock_guard<std::mutex> guard(run->m_lock);
    if (run->m_output.size() < PATCH_TOOL_OUTPUT_KEPT) {
      run->m_output.append(chunk, 0, PATCH_TOOL_OUTPUT_KEPT - run->m_output.size());
    }
    chunk.clear();
  }
  std::lock_guard<std::mutex> guard(run->m_lock);
  run->m_outputDone = true;
  run->m_drained.notify_all();
}

class RealFileSystem final : public PatchFileSystem {
 public:
  bool FileExists(const std::string& path) override { return ::FileExists(path); }
  bool IsDirectory(const std::string& path) override { return ::IsDirectory(path); }
  bool MakeDirectory(const std::string& path) override { return ::MakeDirectory(path); }

  bool CopyFile(const std::string& from, const std::string& to) override {
    std::error_code error;
    return std::filesystem::copy_file(Native(from), Native(to),
                                      std::filesystem::copy_options::overwrite_existing, error) &&
           !error;
  }

  bool MoveFile(const std::string& from, const std::string& to) override {
    return MoveFileGuarded(from, to);
  }

  bool DeleteFile(const std::string& path) override { return DeletePath(path); }

  bool RemoveEmptyDirectory(const std::string& path) override {
    std::error_code error;
    const std::string native = Native(path);
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(native, error)))
      return false;
    return std::filesystem::remove(native, error) && !error;
  }

  bool ComputeChecksum(const std::string& path, std::string* checksum) override {
    return ComputeFileChecksum(path, checksum);
  }

  bool CopyPermissions(const std::string& from, const std::string& to) override {
    std::error_code error;
    const std::filesystem::perms perms = std::filesystem::status(Native(from), error).permissions();
    if (error) return false;
    std::filesystem::permissions(Native(to), perms, error);
    return !error;
  }

  PatchToolResult RunTool(const std::string& directory, const std::string& executable,
                          const std::string& arguments, std::uint64_t time_limit_ms) override {
    PatchToolResult result;
    auto run = std::make_shared<ToolRun>();
    run->m_child.reset(StartChildProcessIn(Native(directory), Native(executable), arguments));
    if (!run->m_child) return result;
    ChildProcess* child = run->m_child.get();
    // The output is drained on its own thread, so that neither a tool that
    // writes much nor one that hangs with its output open can block us.
    std::thread([run] { DrainToolOutput(run); }).detach();

    const std::uint32_t limit =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(time_limit_ms, CHILD_WAIT_INFINITE - 1));
    const bool ended = WaitChild(child, limit);
    if (!ended) {
      KillChild(child);
      WaitChild(child, CHILD_WAIT_INFINITE);
    }
    result.m_state = ended ? PatchToolResult::EXITED : PatchToolResult::TIMED_OUT;
    result.m_exitCode = ChildExitCode(child);

    std::unique_lock<std::mutex> lock(run->m_lock);
    run->m_drained.wait_for(lock, PATCH_TOOL_OUTPUT_GRACE, [&] { return run->m_outputDone; });
    result.m_output = run->m_output;
    return result;
  }
};

}  // namespace

PatchFileSystem& RealPatchFileSystem() {
  static RealFileSystem* instance = new RealFileSystem;
  return *instance;
}

}  // namespace BramPatch

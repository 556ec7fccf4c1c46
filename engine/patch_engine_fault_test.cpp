// Rollback under injected faults: a rename, a copy, a tool start or a tool
// run fails at the N-th call, for every N of a small patch; afterwards the
// installation is byte for byte the old build (or, when the engine got past
// the fault, the new one), with no ".pbk" left.
#include <filesystem>

#include <gtest/gtest.h>

#include "engine/patch_engine.h"
#include "engine/patch_file_system.h"
#include "engine/patch_test_support.h"
#include "platform/windows_command_line.h"
#include "text/fixed_texts.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

enum class FaultKind { MOVE, COPY, SPAWN, TOOL };

struct Fault {
  FaultKind m_kind;
  int m_at;                  // the first failing call of that kind, counted from 1
  int m_count = 1;           // consecutive calls that fail
  bool m_uncovered = false;  // MOVE: the copy that stands in for it fails too
};

const char* KindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::MOVE:
      return "move";
    case FaultKind::COPY:
      return "copy";
    case FaultKind::SPAWN:
      return "spawn";
    case FaultKind::TOOL:
      return "tool";
  }
  return "?";
}

// Fails the chosen calls; a failing copy leaves half a file behind, a
// failing tool run writes half a target and exits with 3.
class FaultyFileSystem : public PatchFileSystemWrapper {
 public:
  explicit FaultyFileSystem(std::vector<Fault> faults)
      : PatchFileSystemWrapper(RealPatchFileSystem()), m_faults(std::move(faults)) {}

  bool MoveFile(const std::string& from, const std::string& to) override {
    if (const Fault* fault = Hit(FaultKind::MOVE)) {
      m_failNextCopy = fault->m_uncovered;
      return false;
    }
    return PatchFileSystemWrapper::MoveFile(from, to);
  }

  bool CopyFile(const std::string& from, const std::string& to) override {
    const bool fail_next = m_failNextCopy;
    m_failNextCopy = false;
    if (Hit(FaultKind::COPY) || fail_next) {
      const std::string bytes = ReadTextFile(Native(from));
      WriteTextFile(Native(to), bytes.substr(0, bytes.size() / 2));
      return false;
    }
    return PatchFileSystemWrapper::CopyFile(from, to);
  }

  PatchToolResult RunTool(const std::string& directory, const std::string& executable,
                          const std::string& arguments, std::uint64_t time_limit_ms) override {
    if (Hit(FaultKind::SPAWN)) return {};
    const bool fail = Hit(FaultKind::TOOL) != nullptr;
    PatchToolResult result =
        PatchFileSystemWrapper::RunTool(directory, executable, arguments, time_limit_ms);
    if (!fail) return result;
    const std::string target = SplitWindowsCommandLine("tool " + arguments).back();
    const std::string bytes = ReadTextFile(target);
    WriteTextFile(target, bytes.substr(0, bytes.size() / 2));
    return {PatchToolResult::EXITED, 3, ""};
  }

  // Whether the last fault of the list has fired (the one a sweep moves).
  bool Fired() const { return m_fired; }

 private:
  static std::string Native(std::string path) {
    NormalizeSeparators(path);
    return path;
  }

  // The fault that makes this call fail, or null.
  const Fault* Hit(FaultKind kind) {
    const int call = ++m_calls[static_cast<int>(kind)];
    for (const Fault& fault : m_faults) {
      if (fault.m_kind == kind && call >= fault.m_at && call < fault.m_at + fault.m_count) {
        if (&fault == &m_faults.back()) m_fired = true;
        return &fault;
      }
    }
    return nullptr;
  }

  std::vector<Fault> m_faults;
  int m_calls[4] = {0, 0, 0, 0};
  bool m_fired = false;
  bool m_failNextCopy = false;
};

class PatchFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_old = {{"keep.txt", "kept"},
             {"gone1.txt", "gone one"},
             {"gone2/gone2.txt", "gone two"},
             {"replaced.txt", "the user's own"},
             {"a.dll", RandomBytes(50000, 21)},
             {"sub/b.txt", TextBytes(40000, 22)},
             {UNINSTALL_LOG_NAME, BuildUninstallLog()}};
    PatchDirectoryBuilder patch(m_dir.Sub("patch"));
    patch.Add("new\\deep\\added.txt", "added");
    patch.Add("replaced.txt", "replacement");
    patch.Delete("gone1.txt");
    patch.Delete("gone2\\gone2.txt");
    std::string new_a = m_old["a.dll"];
    new_a.replace(1000, 50, RandomBytes(80, 23));
    patch.Patch("a.dll", m_old["a.dll"], new_a);
    patch.Patch("sub\\b.txt", m_old["sub/b.txt"], TextBytes(41000, 24));
    patch.Write();

    // The old build, and the new build as a clean run leaves it.
    Reset();
    m_oldTree = ReadTree(Install());
    FaultyFileSystem clean({});
    ASSERT_TRUE(Apply(clean));
    m_newTree = ReadTree(Install());
    ASSERT_NE(m_newTree, m_oldTree);
  }

  std::string Install() const { return m_dir.Sub("install"); }

  void Reset() {
    std::filesystem::remove_all(Install());
    InstallProductTools(Install(), false);
    WriteTree(Install(), m_old);
  }

  bool Apply(PatchFileSystem& file_system) {
    return ApplyPatchDirectory(Install(), m_dir.Sub("patch"), PATCH_LAST_FILE_NAME, file_system);
  }

  struct Outcome {
    int m_runs = 0;
    int m_failed = 0;
  };

  // Runs the patch once per N with `faults_at(N)` until no fault fires.
  Outcome Sweep(const std::function<std::vector<Fault>(int)>& faults_at) {
    Outcome outcome;
    for (int n = 1; n < 100; ++n) {
      const std::vector<Fault> faults = faults_at(n);
      std::string label;
      for (const Fault& fault : faults) {
        label += std::string(KindName(fault.m_kind)) + " #" + std::to_string(fault.m_at) + " x" +
                 std::to_string(fault.m_count) + " ";
      }
      SCOPED_TRACE(label);
      Reset();
      HookRecorder hooks;
      FaultyFileSystem file_system(faults);
      const bool ok = Apply(file_system);
      if (!file_system.Fired()) return outcome;
      ++outcome.m_runs;
      outcome.m_failed += ok ? 0 : 1;
      const Tree after = ReadTree(Install());
      EXPECT_TRUE(BackupsIn(after).empty()) << ::testing::PrintToString(BackupsIn(after));
      EXPECT_EQ(after, ok ? m_newTree : m_oldTree)
          << (ok ? "succeeded" : "failed") << ": " << ::testing::PrintToString(hooks.m_texts);
    }
    ADD_FAILURE() << "the faults never stopped firing";
    return outcome;
  }

  ScopedTempDir m_dir;
  Tree m_old;
  Tree m_oldTree;
  Tree m_newTree;
};

TEST_F(PatchFaultTest, EveryFailingMoveIsCoveredByTheCopy) {
  // Five backups: the replaced added file, two deleted and two patched files.
  const Outcome outcome = Sweep([](int n) { return std::vector<Fault>{{FaultKind::MOVE, n}}; });
  EXPECT_EQ(outcome.m_runs, 5);
  EXPECT_EQ(outcome.m_failed, 0);
}

TEST_F(PatchFaultTest, EveryFailingCopyIsRetriedOrRolledBack) {
  Outcome outcome = Sweep([](int n) { return std::vector<Fault>{{FaultKind::COPY, n}}; });
  EXPECT_EQ(outcome.m_runs, 2);
  EXPECT_EQ(outcome.m_failed, 0);  // the second try copies
  outcome = Sweep([](int n) { return std::vector<Fault>{{FaultKind::COPY, n, 2}}; });
  EXPECT_GE(outcome.m_runs, 2);
  EXPECT_GE(outcome.m_failed, 2);  // both tries of an added file fail
}

TEST_F(PatchFaultTest, EveryToolThatCannotStartRollsBack) {
  const Outcome outcome = Sweep([](int n) { return std::vector<Fault>{{FaultKind::SPAWN, n}}; });
  EXPECT_EQ(outcome.m_runs, 2);
  EXPECT_EQ(outcome.m_failed, 2);
}

TEST_F(PatchFaultTest, EveryFailingToolRollsBack) {
  const Outcome outcome = Sweep([](int n) { return std::vector<Fault>{{FaultKind::TOOL, n}}; });
  EXPECT_EQ(outcome.m_runs, 2);
  EXPECT_EQ(outcome.m_failed, 2);
}

TEST_F(PatchFaultTest, FailingMovesDuringTheRollbackAreCoveredByTheCopy) {
  // The last tool fails, so everything is rolled back; meanwhile move N
  // fails: five on the way forward and five putting the backups back.
  const Outcome outcome = Sweep([](int n) {
    return std::vector<Fault>{{FaultKind::TOOL, 2}, {FaultKind::MOVE, n}};
  });
  EXPECT_EQ(outcome.m_runs, 10);
  EXPECT_EQ(outcome.m_failed, 10);
}

TEST_F(PatchFaultTest, AMoveWhoseCopyFailsTooRollsBackOrKeepsTheBackup) {
  // Move N fails and so does the copy that stands in for it. In the forward
  // phases that fails the entry and everything is rolled back. Inside a
  // rollback it cannot be covered: the backup then stays, and its
  // installation path is posted.
  for (int n = 1; n < 100; ++n) {
    SCOPED_TRACE("move #" + std::to_string(n));
    Reset();
    HookRecorder hooks;
    FaultyFileSystem file_system({{FaultKind::MOVE, n, 1, true}});
    const bool ok = Apply(file_system);
    if (!file_system.Fired()) return;
    const Tree after = ReadTree(Install());
    bool restore_failed = false;
    for (const std::string& text : hooks.Of(TEXT_KIND_ERROR)) {
      restore_failed |= text.starts_with("Failed to restore backup file ");
    }
    if (restore_failed) {
      EXPECT_FALSE(ok);
      EXPECT_FALSE(BackupsIn(after).empty());
    } else {
      EXPECT_TRUE(BackupsIn(after).empty()) << ::testing::PrintToString(BackupsIn(after));
      EXPECT_EQ(after, ok ? m_newTree : m_oldTree) << ::testing::PrintToString(hooks.m_texts);
    }
  }
  ADD_FAILURE() << "the faults never stopped firing";
}

}  // namespace
}  // namespace BramPatch

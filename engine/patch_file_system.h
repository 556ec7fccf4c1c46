// The file operations and the tool runs of the file patch engine, behind one
// interface, so that tests can make any of them fail at a chosen step.
// PatchFileSystemWrapper forwards every call to another instance; a fake
// derives from it and overrides the calls it breaks. Paths are UTF-8 with
// either separator.
#pragma once

#include <cstdint>
#include <string>

namespace BramPatch {

struct PatchToolResult {
  enum State { NOT_STARTED, EXITED, TIMED_OUT };
  State m_state = NOT_STARTED;
  int m_exitCode = -1;   // EXITED: the exit status, or 128 + the signal number
  std::string m_output;  // what it printed (standard output and error), cut to a bounded size
};

class PatchFileSystem {
 public:
  virtual ~PatchFileSystem() = default;

  // True when the path exists (directories count).
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool IsDirectory(const std::string& path) = 0;
  // Creates the directory with any missing parents; true when it exists.
  virtual bool MakeDirectory(const std::string& path) = 0;
  // Copies the file's bytes and permission bits to `to`, replacing a file
  // there. On failure `to` may be left half written.
  virtual bool CopyFile(const std::string& from, const std::string& to) = 0;
  // Moves the file; never replaces an existing `to` (false then).
  virtual bool MoveFile(const std::string& from, const std::string& to) = 0;
  // Removes a file (not a directory).
  virtual bool DeleteFile(const std::string& path) = 0;
  // Removes a directory only when it is empty.
  virtual bool RemoveEmptyDirectory(const std::string& path) = 0;
  // The 32-digit lowercase MD5 text of the file's contents. Unlike the
  // other calls, it may run on a second thread beside them.
  virtual bool ComputeChecksum(const std::string& path, std::string* checksum) = 0;
  // Gives `to` the permission bits of `from`.
  virtual bool CopyPermissions(const std::string& from, const std::string& to) = 0;
  // Runs the command line "\"<executable>\" <arguments>" (split by the
  // Windows rules) in `directory` and waits for it, at most
  // `time_limit_ms`; a tool still running then is ended (TIMED_OUT).
  virtual PatchToolResult RunTool(const std::string& directory, const std::string& executable,
                                  const std::string& arguments, std::uint64_t time_limit_ms) = 0;
};

// The real file system and child processes. Stateless; one instance may
// serve several threads at once.
PatchFileSystem& RealPatchFileSystem();

class PatchFileSystemWrapper : public PatchFileSystem {
 public:
  // REQUIRES: `target` outlives the wrapper.
  explicit PatchFileSystemWrapper(PatchFileSystem& target) : m_target(target) {}

  bool FileExists(const std::string& path) override { return m_target.FileExists(path); }
  bool IsDirectory(const std::string& path) override { return m_target.IsDirectory(path); }
  bool MakeDirectory(const std::string& path) override { return m_target.MakeDirectory(path); }
  bool CopyFile(const std::string& from, const std::string& to) override {
    return m_target.CopyFile(from, to);
  }
  bool MoveFile(const std::string& from, const std::string& to) override {
    return m_target.MoveFile(from, to);
  }
  bool DeleteFile(const std::string& path) override { return m_target.DeleteFile(path); }
  bool RemoveEmptyDirectory(const std::string& path) override {
    return m_target.RemoveEmptyDirectory(path);
  }
  bool ComputeChecksum(const std::string& path, std::string* checksum) override {
    return m_target.ComputeChecksum(path, checksum);
  }
  bool CopyPermissions(const std::string& from, const std::string& to) override {
    return m_target.CopyPermissions(from, to);
  }
  PatchToolResult RunTool(const std::string& directory, const std::string& executable,
                          const std::string& arguments, std::uint64_t time_limit_ms) override {
    return m_target.RunTool(directory, executable, arguments, time_limit_ms);
  }

 private:
  PatchFileSystem& m_target;
};

}  // namespace BramPatch

#include "engine/patch_engine.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

#include "engine/checksum_prefetch.h"
#include "engine/manifest.h"
#include "engine/patch_callbacks.h"
#include "engine/patch_commands.h"
#include "engine/patch_data_paths.h"
#include "engine/patch_file_system.h"
#include "engine/uninstall_log.h"
#include "foundation/log.h"
#include "foundation/path_guard.h"
#include "foundation/paths.h"
#include "text/fixed_texts.h"
#include "text/text_kind.h"

namespace BramPatch {

namespace {

// One manifest entry with its paths resolved (and checked) up front.
struct PlannedEntry {
  ManifestEntry m_entry;
  std::string m_target;       // in the installation
  std::string m_data;         // added: the new file; patched: the ".diff"
  std::string m_archiveDiff;  // patched ".ja" entries: the "-diff.ja"
};

// An undo record: the installation path and its backup (empty when the add
// phase created a file that did not exist before).
struct UndoRecord {
  std::string m_target;
  std::string m_backup;
};

std::string ParentFolder(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string AbsoluteFolder(const std::string& folder) {
  std::string native = folder;
  NormalizeSeparators(native);
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(native, error);
  if (error) return native;
  std::string text = absolute.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

class PatchRun {
 public:
  PatchRun(PatchFileSystem& file_system, const std::string& install_dir,
           const std::string& patch_dir)
      : m_fs(file_system),
        m_hooks(GetPatchCallbacks()),
        m_installDir(AbsoluteFolder(install_dir)),
        m_patchDir(AbsoluteFolder(patch_dir)) {}

  bool Run(const std::string& last_file_name);

 private:
  void Post(int kind, const std::string& text) {
    if (m_hooks.m_postText) m_hooks.m_postText(kind, text);
  }
  bool KeepGoing() { return !m_hooks.m_keepGoing || m_hooks.m_keepGoing(); }

  bool ReadManifests(const std::string& last_file_name);
  bool PlanEntries(const char* manifest_name, const std::vector<ManifestEntry>& entries,
                   std::vector<PlannedEntry>* planned);

  bool Rename(const std::string& from, const std::string& to);
  bool EnsureFolder(const std::string& folder);
  void RemoveCreatedFolders();
  bool TakeBackup(const std::string& target, const std::string& backup);

  bool AddFiles();
  bool DeleteFiles();
  bool PatchFiles();
  bool IsArchiveMode(const PlannedEntry& planned, const std::string& tool_folder);
  bool PatchOne(const PlannedEntry& planned, const PlannedEntry* next,
                const std::string& tool_folder);
  void PrefetchFirstChecksum();

  void FinishAddedFiles(bool success);
  void FinishDeletedFiles(bool success);
  void FinishPatchedFiles(bool success);
  void DropBackups(const std::vector<UndoRecord>& records);

  PatchFileSystem& m_fs;
  const PatchCallbacks m_hooks;  // the hooks in place when the call started
  const std::string m_installDir;
  const std::string m_patchDir;

  std::vector<PlannedEntry> m_added;
  std::vector<PlannedEntry> m_deleted;
  std::vector<PlannedEntry> m_patched;

  // The undo lists, in the order the changes were made.
  std::vector<UndoRecord> m_addedUndo;
  std::vector<UndoRecord> m_deletedUndo;
  std::vector<UndoRecord> m_patchedUndo;
  // Every backup this call has made: none is ever replaced by another.
  std::set<std::string> m_backups;
  // The folders this call created, parents before their children.
  std::vector<std::string> m_createdFolders;
  // Checksums of patched files, computed ahead on a second thread.
  ChecksumPrefetcher m_prefetch{m_fs};
};

bool PatchRun::Run(const std::string& last_file_name) {
  if (!ReadManifests(last_file_name)) return false;
  if (m_hooks.m_progressRange) {
    m_hooks.m_progressRange(m_added.size() + m_deleted.size() + m_patched.size());
  }
  PrefetchFirstChecksum();
  bool success = AddFiles() && DeleteFiles() && PatchFiles();
  if (success) {
    success = UpdateUninstallLog(m_installDir, m_patchDir,
                                 [this](int kind, const std::string& text) { Post(kind, text); });
  }
  FinishAddedFiles(success);
  FinishDeletedFiles(success);
  FinishPatchedFiles(success);
  if (!success) RemoveCreatedFolders();
  return success;
}

bool PatchRun::ReadManifests(const std::string& last_file_name) {
  struct Manifest {
    const char* m_name;
    std::vector<PlannedEntry>* m_planned;
  };
  const Manifest manifests[] = {
      {MANIFEST_ADDED, &m_added}, {MANIFEST_DELETED, &m_deleted}, {MANIFEST_PATCHED, &m_patched}};
  std::vector<ManifestEntry> lists[3];
  // All three must be readable and whole before any is used.
  for (int i = 0; i < 3; ++i) {
    std::string error;
    if (!ReadManifest(JoinPath(m_patchDir, manifests[i].m_name), &lists[i], &error)) {
      Post(TEXT_KIND_ERROR, error);
      return false;
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (!PlanEntries(manifests[i].m_name, lists[i], manifests[i].m_planned)) return false;
  }
  // The last-file rule moves at most one entry to the end: the first place
  // where the reordered list differs from the file's order.
  std::vector<ManifestEntry> ordered = lists[2];
  MoveLastFileToEnd(&ordered, last_file_name);
  std::size_t moved = 0;
  while (moved < ordered.size() && ordered[moved] == lists[2][moved]) ++moved;
  if (moved < ordered.size()) {
    std::rotate(m_patched.begin() + static_cast<std::ptrdiff_t>(moved),
                m_patched.begin() + static_cast<std::ptrdiff_t>(moved) + 1, m_patched.end());
  }
  return true;
}

bool PatchRun::PlanEntries(const char* manifest_name, const std::vector<ManifestEntry>& entries,
                           std::vector<PlannedEntry>* planned) {
  const std::string manifest_path = JoinPath(m_patchDir, manifest_name);
  const bool added = manifest_name == std::string(MANIFEST_ADDED);
  const bool patched = manifest_name == std::string(MANIFEST_PATCHED);
  planned->reserve(entries.size());
  for (std::size_t index = 0; index < entries.size(); ++index) {
    const ManifestEntry& entry = entries[index];
    const std::string context = manifest_path + " line " + std::to_string(3 * index + 1);
    PlannedEntry plan{entry, "", "", ""};
    std::string error;
    bool safe = ResolveSafePath(m_installDir, entry.m_path, context, &plan.m_target, &error);
    if (safe && added) {
      safe =
          ResolveSafePath(m_patchDir, AddedDataName(entry.m_path), context, &plan.m_data, &error);
    }
    if (safe && patched) {
      safe = ResolveSafePath(m_patchDir, DiffDataName(entry.m_path), context, &plan.m_data, &error);
      if (safe && IsArchiveFileName(entry.m_path)) {
        safe = ResolveSafePath(m_patchDir, ArchiveDiffDataName(entry.m_path), context,
                               &plan.m_archiveDiff, &error);
      }
    }
    if (!safe) {
      Post(TEXT_KIND_ERROR, error);
      return false;
    }
    planned->push_back(std::move(plan));
  }
  return true;
}

// Moves `from` to `to`; when the move fails, copies and then removes `from`.
// True when `to` holds the file (`from` may still exist when it could not
// be removed). A failed copy leaves no partial `to` behind, and never
// removes a `to` that was there before.
bool PatchRun::Rename(const std::string& from, const std::string& to) {
  if (m_fs.MoveFile(from, to)) return true;
  const bool existed = m_fs.FileExists(to);
  if (!m_fs.CopyFile(from, to)) {
    if (!existed) m_fs.DeleteFile(to);
    return false;
  }
  m_fs.DeleteFile(from);
  return true;
}

// Creates the folder with its missing parents and remembers which of them
// it created; true when the folder exists.
bool PatchRun::EnsureFolder(const std::string& folder) {
  if (m_fs.IsDirectory(folder)) return true;
  std::vector<std::string> missing;
  for (std::string path = folder; !path.empty() && !m_fs.FileExists(path);
       path = ParentFolder(path)) {
    missing.push_back(path);
  }
  const bool made = m_fs.MakeDirectory(folder);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (m_fs.IsDirectory(*it)) m_createdFolders.push_back(*it);
  }
  return made;
}

// After a rollback: removes the folders this call created, children first,
// as far as they are empty again.
void PatchRun::RemoveCreatedFolders() {
  for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it) {
    m_fs.RemoveEmptyDirectory(*it);
  }
}

// Moves `target` aside to `backup`, first removing a stale file of that
// name. Refuses a backup name this call has already used, so that no backup
// is ever lost to a later one.
bool PatchRun::TakeBackup(const std::string& target, const std::string& backup) {
  if (m_backups.count(backup) != 0) return false;
  if (m_fs.FileExists(backup) && !m_fs.DeleteFile(backup)) return false;
  if (!Rename(target, backup)) return false;
  m_backups.insert(backup);
  return true;
}

bool PatchRun::AddFiles() {
  for (const PlannedEntry& planned : m_added) {
    if (!KeepGoing()) return false;
    bool failed = false;
    const std::string folder = ParentFolder(planned.m_target);
    if (!EnsureFolder(folder)) {
      Post(TEXT_KIND_ERROR, FIXED_COULD_NOT_CREATE_DIRECTORY + folder);
      failed = true;
    }
    // A file that is already there is kept as a backup until the end.
    UndoRecord record{planned.m_target, ""};
    if (m_backups.count(planned.m_target) != 0) {
      Post(TEXT_KIND_ERROR, FillPatchText(FIXED_BACKUP_FAILED, {planned.m_target}));
      Post(TEXT_KIND_NORMAL, FIXED_FAILED_ADDING + planned.m_entry.m_path + FIXED_ELLIPSIS);
      return false;
    }
    if (m_fs.FileExists(planned.m_target)) {
      const std::string backup = planned.m_target + PATCH_BACKUP_SUFFIX;
      if (!TakeBackup(planned.m_target, backup)) {
        Post(TEXT_KIND_ERROR, FillPatchText(FIXED_BACKUP_FAILED, {backup}));
        Post(TEXT_KIND_NORMAL, FIXED_FAILED_ADDING + planned.m_entry.m_path + FIXED_ELLIPSIS);
        return false;
      }
      record.m_backup = backup;
    }
    m_addedUndo.push_back(record);  // before copying: a failed copy is undone too
    bool copied = m_fs.CopyFile(planned.m_data, planned.m_target);
    if (!copied) {
      m_fs.DeleteFile(planned.m_target);
      copied = m_fs.CopyFile(planned.m_data, planned.m_target);
    }
    if (!copied) {
      Post(TEXT_KIND_ERROR, FIXED_COULD_NOT_COPY_FILE + planned.m_data);
      failed = true;
    } else if (!record.m_backup.empty()) {
      m_fs.CopyPermissions(record.m_backup, planned.m_target);
    }
    if (failed) {
      Post(TEXT_KIND_NORMAL, FIXED_FAILED_ADDING + planned.m_entry.m_path + FIXED_ELLIPSIS);
      return false;
    }
  }
  return true;
}

bool PatchRun::DeleteFiles() {
  for (const PlannedEntry& planned : m_deleted) {
    if (!KeepGoing()) return false;
    const std::string& target = planned.m_target;
    const std::string backup = target + PATCH_BACKUP_SUFFIX;
    if (m_backups.count(backup) != 0 || m_backups.count(target) != 0) {
      Post(TEXT_KIND_ERROR, FillPatchText(FIXED_BACKUP_FAILED, {backup}));
      return false;
    }
    if (!Rename(target, backup)) {
      if (m_fs.FileExists(target)) {
        Post(TEXT_KIND_ERROR, FIXED_COULD_NOT_DELETE + target);
        return false;
      }
      // Nothing was moved, so there is nothing to put back or drop later.
      Post(TEXT_KIND_SECONDARY, FIXED_FILE_ALREADY_REMOVED + target);
      continue;
    }
    m_backups.insert(backup);
    m_deletedUndo.push_back({target, backup});
    // A copy whose original could not be removed deleted nothing.
    if (m_fs.FileExists(target)) {
      Post(TEXT_KIND_ERROR, FIXED_COULD_NOT_DELETE + target);
      return false;
    }
  }
  return true;
}

// The first patched file's checksum is computed during the add and delete
// phases when neither of them touches that file.
void PatchRun::PrefetchFirstChecksum() {
  if (m_patched.empty() || !m_patched.front().m_archiveDiff.empty()) return;
  const std::string& first = m_patched.front().m_target;
  for (const std::vector<PlannedEntry>* list : {&m_added, &m_deleted}) {
    for (const PlannedEntry& planned : *list) {
      if (planned.m_target == first) return;
    }
  }
  m_prefetch.Start(first);
}

bool PatchRun::PatchFiles() {
  const std::string tool_folder = PatchToolFolder(m_installDir);
  for (std::size_t i = 0; i < m_patched.size(); ++i) {
    if (!KeepGoing()) return false;
    const PlannedEntry* next = i + 1 < m_patched.size() ? &m_patched[i + 1] : nullptr;
    if (!PatchOne(m_patched[i], next, tool_folder)) return false;
  }
  return true;
}

bool PatchRun::IsArchiveMode(const PlannedEntry& planned, const std::string& tool_folder) {
  return !planned.m_archiveDiff.empty() && m_fs.FileExists(tool_folder + PATCH_ARCHIVE_TOOL);
}

// `next` (or null) is the entry after this one: its checksum is computed
// while the tool runs for this one.
bool PatchRun::PatchOne(const PlannedEntry& planned, const PlannedEntry* next,
                        const std::string& tool_folder) {
  const std::string& target = planned.m_target;
  const std::string backup = target + PATCH_BACKUP_SUFFIX;
  const bool archive_mode = IsArchiveMode(planned, tool_folder);
  const std::string& diff = archive_mode ? planned.m_archiveDiff : planned.m_data;

  // A file that is one of this call's backups is never written.
  if (m_backups.count(target) != 0) {
    Post(TEXT_KIND_ERROR, FillPatchText(FIXED_BACKUP_FAILED, {backup}));
    return false;
  }

  // The archive tool checks its input itself.
  if (!archive_mode) {
    std::string checksum;
    bool computed = false;
    if (!m_prefetch.Take(target, &computed, &checksum)) {
      computed = m_fs.ComputeChecksum(target, &checksum);
    }
    if (!computed) {
      Post(TEXT_KIND_ERROR, FIXED_FAILED_CHECKSUM_EXISTING + target);
      return false;
    }
    if (checksum == planned.m_entry.m_first) {
      Post(TEXT_KIND_SECONDARY, FIXED_ALREADY_PATCHED + target);
      return true;
    }
    if (checksum != planned.m_entry.m_second) {
      Post(TEXT_KIND_ERROR, FIXED_EXISTING_FILE_DAMAGED + target);
      return false;
    }
  }

  if (!TakeBackup(target, backup)) {
    Post(TEXT_KIND_ERROR, FillPatchText(FIXED_BACKUP_FAILED, {backup}));
    return false;
  }
  m_patchedUndo.push_back({target, backup});

  const std::string folder = ParentFolder(target);
  if (!EnsureFolder(folder)) {
    Post(TEXT_KIND_ERROR, FIXED_COULD_NOT_CREATE_DIRECTORY + folder);
    return false;
  }

  // The tool writes only this target; any other next target stays as it is
  // meanwhile.
  if (next != nullptr && next->m_target != target && !IsArchiveMode(*next, tool_folder)) {
    m_prefetch.Start(next->m_target);
  }
  const PatchToolCommand command =
      MakePatchToolCommand(tool_folder, archive_mode, backup, diff, target);
  const PatchToolResult result = m_fs.RunTool(tool_folder, command.m_executable,
                                              command.m_arguments, PATCH_TOOL_TIME_LIMIT_MS);
  if (!result.m_output.empty()) {
    LogPrintf("PatchFiles> %s: %s", command.CommandLine().c_str(), result.m_output.c_str());
  }
  switch (result.m_state) {
    case PatchToolResult::NOT_STARTED:
      Post(TEXT_KIND_NORMAL, FIXED_FAILED_PATCH_COMMAND + command.CommandLine());
      return false;
    case PatchToolResult::TIMED_OUT:
      Post(TEXT_KIND_ERROR, FillPatchText(PATCH_TOOL_TIMED_OUT_TEXT,
                                          {std::to_string(PATCH_TOOL_TIME_LIMIT_MS / 60000),
                                           planned.m_entry.m_path}));
      return false;
    case PatchToolResult::EXITED:
      break;
  }
  if (result.m_exitCode != 0) {
    Post(TEXT_KIND_ERROR,
         PatchToolExitText(archive_mode, result.m_exitCode, planned.m_entry.m_path));
    return false;
  }
  // The tool writes a new file; it keeps the permissions of the old one.
  m_fs.CopyPermissions(backup, target);
  return true;
}

void PatchRun::DropBackups(const std::vector<UndoRecord>& records) {
  for (const UndoRecord& record : records) {
    if (!record.m_backup.empty() && !m_fs.DeleteFile(record.m_backup)) {
      LogPrintf("ApplyPatchDirectory> cannot remove the backup %s", record.m_backup.c_str());
    }
  }
}

// Rollbacks run from the last change to the first, so that each record finds
// the state it left behind.
void PatchRun::FinishAddedFiles(bool success) {
  if (success) return DropBackups(m_addedUndo);
  for (auto it = m_addedUndo.rbegin(); it != m_addedUndo.rend(); ++it) {
    m_fs.DeleteFile(it->m_target);
    if (!it->m_backup.empty() && !Rename(it->m_backup, it->m_target)) {
      Post(TEXT_KIND_ERROR, FillPatchText(FIXED_RESTORE_BACKUP_FAILED, {it->m_target}));
    }
  }
}

void PatchRun::FinishDeletedFiles(bool success) {
  if (success) return DropBackups(m_deletedUndo);
  for (auto it = m_deletedUndo.rbegin(); it != m_deletedUndo.rend(); ++it) {
    if (!Rename(it->m_backup, it->m_target)) {
      Post(TEXT_KIND_ERROR, FillPatchText(FIXED_RESTORE_BACKUP_FAILED, {it->m_target}));
    }
  }
}

void PatchRun::FinishPatchedFiles(bool success) {
  if (success) return DropBackups(m_patchedUndo);
  for (auto it = m_patchedUndo.rbegin(); it != m_patchedUndo.rend(); ++it) {
    const bool restored = m_fs.FileExists(it->m_backup) &&
                          (!m_fs.FileExists(it->m_target) || m_fs.DeleteFile(it->m_target)) &&
                          Rename(it->m_backup, it->m_target);
    if (!restored) {
      Post(TEXT_KIND_ERROR, FillPatchText(FIXED_RESTORE_BACKUP_FAILED, {it->m_target}));
    }
  }
}

}  // namespace

bool ApplyPatchDirectory(const std::string& install_dir, const std::string& patch_dir,
                         const std::string& last_file_name) {
  return ApplyPatchDirectory(install_dir, patch_dir, last_file_name, RealPatchFileSystem());
}

bool ApplyPatchDirectory(const std::string& install_dir, const std::string& patch_dir,
                         const std::string& last_file_name, PatchFileSystem& file_system) {
  PatchRun run(file_system, install_dir, patch_dir);
  return run.Run(last_file_name);
}

}  // namespace BramPatch

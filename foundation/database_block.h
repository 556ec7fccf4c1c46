// The asset database's ownership block: 36 bytes shared by the programs of
// the product family that open the database, guarded by a named mutex
// (docs/formats/ownership-block.md). Both objects have Windows lifetime:
// they exist while some process is attached and vanish when the last one
// ends, crashed or killed; the next opener creates them afresh. They are
// files under a block directory (/dev/shm): a mutex (flock), a presence
// file (one shared flock per attached process) and the block (mmap).
//
// One DatabaseBlock is one process's attachment; it is used from one
// thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

constexpr char DATABASE_BLOCK_DIRECTORY[] = "/dev/shm";

constexpr std::int32_t DATABASE_BLOCK_NO_PROCESS = -1;
constexpr std::int32_t DATABASE_BLOCK_PROTOCOL = 3;
constexpr std::size_t DATABASE_BLOCK_SIZE = 36;

// Byte offsets of the 32-bit fields.
enum class DatabaseBlockField : std::size_t {
  HOST = 0,
  OWNER = 4,
  REQUESTER = 8,
  CHANGE_COUNT = 12,
  PROTOCOL = 16,
  ATTACH_COUNT = 20,
  EXCLUSIVE_HOLDER = 24,  // 0, not -1, when nobody holds the database exclusively
  SHARED_VALUE = 32,
};
constexpr std::size_t DATABASE_BLOCK_EXCLUSIVE_SUSPENDED_OFFSET = 28;  // one byte

class DatabaseBlock {
 public:
  explicit DatabaseBlock(std::string directory = DATABASE_BLOCK_DIRECTORY);
  DatabaseBlock(const DatabaseBlock&) = delete;
  DatabaseBlock& operator=(const DatabaseBlock&) = delete;
  ~DatabaseBlock();  // closes

  // Attaches to the block of the database at database_path (a path ending
  // in "assets.tdx" whose folder exists). True at once when attached
  // already. Fails, creating nothing, for other paths; fails when another
  // process holds the database exclusively, unless it has suspended that
  // and allow_while_suspended is set. Failures are not logged.
  bool Open(const std::string& database_path, bool allow_while_suspended);

  // 0 when not attached.
  std::int32_t GetAttachCount() const;

  // The database for this process alone: attached, nobody holds it
  // exclusively, nobody else attached (attach count at most 1), and the
  // ownership taken (RequestOwnership).
  bool TakeExclusive();

  // Gives up exclusive use and ownership, when this process holds them.
  void ReleaseExclusive();

  // Detaches: drops ownership, and as host marks the block host-less and
  // counts the attachment off. The last process out removes the files.
  void Close();

  // Ownership with request: true when this process owns the database (now
  // or already); otherwise, when nobody waits yet, enters this process as
  // the requester. REQUIRES: attached.
  bool RequestOwnership();

  bool IsAttached() const { return m_view != nullptr; }
  bool IsHost() const { return m_ishost; }
  void SetHost(bool host) { m_ishost = host; }
  std::int32_t ProcessId() const { return m_processid; }

  // Field access for the rules of the family's programs (DatabaseBlockPeer).
  // REQUIRES: attached.
  std::int32_t Read(DatabaseBlockField field) const;
  void Write(DatabaseBlockField field, std::int32_t value);
  bool ExclusiveSuspended() const;
  void SetExclusiveSuspended(bool suspended);

  // Holds the named mutex (waits without time-out; a mutex whose holder
  // died counts as acquired). REQUIRES: attached or opening.
  class MutexHold {
   public:
    explicit MutexHold(DatabaseBlock& block);
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;
    ~MutexHold();

   private:
    DatabaseBlock& m_block;
  };

  // The files that stand for the block of a database path (for tests and
  // tools); false for a path whose names cannot be derived.
  bool FilesFor(const std::string& database_path, std::string* mutex_file,
                std::string* presence_file, std::string* block_file) const;

 private:
  std::atomic_ref<std::int32_t> Field(DatabaseBlockField field) const;
  void LockMutex();
  void UnlockMutex();
  bool MapBlock();
  void Initialise();
  // Releases this process's presence and, when no other process is
  // attached, removes the files. REQUIRES: the mutex is held.
  void LeavePresence();
  void CloseHandles();

  const std::string m_directory;
  std::string m_mutexpath;
  std::string m_presencepath;
  std::string m_blockpath;
  int m_mutexfd = -1;
  int m_presencefd = -1;
  int m_blockfd = -1;
  unsigned char* m_view = nullptr;
  int m_mutexdepth = 0;
  std::int32_t m_processid = 0;
  bool m_ishost = false;
};

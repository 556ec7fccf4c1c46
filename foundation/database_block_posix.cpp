#include "foundation/database_block.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "foundation/database_block_names.h"
#include "foundation/process_alive.h"

namespace {

constexpr int OPEN_ATTEMPTS = 100;  // a mutex file replaced under us is opened again

int OpenObjectFile(const std::string& path) {
  return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

void Lock(int fd, int operation) {
  while (flock(fd, operation) != 0 && errno == EINTR) {
  }
}

bool TryLockExclusive(int fd) {
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool SameFile(int fd, const std::string& path) {
  struct stat opened, named;
  return fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

DatabaseBlock::DatabaseBlock(std::string directory) : m_directory(std::move(directory)) {}

DatabaseBlock::~DatabaseBlock() { Close(); }

bool DatabaseBlock::FilesFor(const std::string& database_path, std::string* mutex_file,
                             std::string* presence_file, std::string* block_file) const {
  DatabaseBlockNames names;
  if (!DatabaseBlockNamesFromPath(database_path, &names)) return false;
  const std::string mutex_stem = m_directory + "/" + DatabaseBlockFileStem(names.mutex_name);
  *mutex_file = mutex_stem + ".mutex";
  *presence_file = mutex_stem + ".presence";
  *block_file = m_directory + "/" + DatabaseBlockFileStem(names.memory_name) + ".block";
  return true;
}

std::atomic_ref<std::int32_t> DatabaseBlock::Field(DatabaseBlockField field) const {
  // The view starts on a page, so every field is aligned.
  return std::atomic_ref<std::int32_t>(
      *reinterpret_cast<std::int32_t*>(m_view + static_cast<std::size_t>(field)));
}

std::int32_t DatabaseBlock::Read(DatabaseBlockField field) const { return Field(field).load(); }

void DatabaseBlock::Write(DatabaseBlockField field, std::int32_t value) {
  Field(field).store(value);
}

bool DatabaseBlock::ExclusiveSuspended() const {
  return std::atomic_ref<unsigned char>(m_view[DATABASE_BLOCK_EXCLUSIVE_SUSPENDED_OFFSET]).load() !=
         0;
}

void DatabaseBlock::SetExclusiveSuspended(bool suspended) {
  std::atomic_ref<unsigned char>(m_view[DATABASE_BLOCK_EXCLUSIVE_SUSPENDED_OFFSET])
      .store(suspended ? 1 : 0);
}

void DatabaseBlock::LockMutex() {
  if (m_mutexdepth++ == 0) Lock(m_mutexfd, LOCK_EX);
}

void DatabaseBlock::UnlockMutex() {
  if (--m_mutexdepth == 0) Lock(m_mutexfd, LOCK_UN);
}

DatabaseBlock::MutexHold::MutexHold(DatabaseBlock& block) : m_block(block) { m_block.LockMutex(); }

DatabaseBlock::MutexHold::~MutexHold() { m_block.UnlockMutex(); }

bool DatabaseBlock::MapBlock() {
  m_blockfd = OpenObjectFile(m_blockpath);
  if (m_blockfd < 0) return false;
  struct stat status;
  if (fstat(m_blockfd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  // Only ever grown: shrinking a file that another process maps would
  // fault that process.
  if (status.st_size < static_cast<off_t>(DATABASE_BLOCK_SIZE) &&
      ftruncate(m_blockfd, static_cast<off_t>(DATABASE_BLOCK_SIZE)) != 0) {
    return false;
  }
  void* view = mmap(nullptr, DATABASE_BLOCK_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, m_blockfd, 0);
  if (view == MAP_FAILED) return false;
  m_view = static_cast<unsigned char*>(view);
  return true;
}

void DatabaseBlock::Initialise() {
  Write(DatabaseBlockField::HOST, m_processid);
  Write(DatabaseBlockField::OWNER, DATABASE_BLOCK_NO_PROCESS);
  Write(DatabaseBlockField::REQUESTER, DATABASE_BLOCK_NO_PROCESS);
  Write(DatabaseBlockField::CHANGE_COUNT, 0);
  Write(DatabaseBlockField::PROTOCOL, DATABASE_BLOCK_PROTOCOL);
  Write(DatabaseBlockField::ATTACH_COUNT, 1);
  Write(DatabaseBlockField::EXCLUSIVE_HOLDER, 0);
  for (std::size_t i = DATABASE_BLOCK_EXCLUSIVE_SUSPENDED_OFFSET; i < 32; ++i) {
    std::atomic_ref<unsigned char>(m_view[i]).store(0);
  }
  Write(DatabaseBlockField::SHARED_VALUE, 0);
  m_ishost = true;
}

bool DatabaseBlock::Open(const std::string& database_path, bool allow_while_suspended) {
  if (IsAttached()) return true;
  DatabaseBlockNames names;
  if (!DeriveDatabaseBlockNames(database_path, &names)) return false;
  FilesFor(database_path, &m_mutexpath, &m_presencepath, &m_blockpath);
  m_processid = static_cast<std::int32_t>(getpid());

  // The mutex, locked: it also serialises the attach and detach steps, so
  // that whoever finds no presence is the creator.
  for (int attempt = 0; attempt < OPEN_ATTEMPTS && m_mutexfd < 0; ++attempt) {
    const int fd = OpenObjectFile(m_mutexpath);
    if (fd < 0) return false;
    Lock(fd, LOCK_EX);
    if (SameFile(fd, m_mutexpath)) {
      m_mutexfd = fd;
    } else {
      close(fd);  // the last holder removed it meanwhile
    }
  }
  if (m_mutexfd < 0) return false;
  m_mutexdepth = 1;

  m_presencefd = OpenObjectFile(m_presencepath);
  if (m_presencefd < 0) {
    UnlockMutex();
    CloseHandles();
    return false;
  }
  if (TryLockExclusive(m_presencefd)) {
    // Nobody is attached: create the block afresh.
    if (!MapBlock()) {
      LeavePresence();
      UnlockMutex();
      CloseHandles();
      return false;
    }
    Initialise();
    Lock(m_presencefd, LOCK_SH);
    UnlockMutex();
    return true;
  }

  Lock(m_presencefd, LOCK_SH);
  UnlockMutex();
  if (!MapBlock()) {
    CloseHandles();
    return false;
  }
  std::int32_t exclusive = Read(DatabaseBlockField::EXCLUSIVE_HOLDER);
  if (exclusive != 0 && !IsProcessRunning(exclusive)) {
    // A holder that ended without releasing would lock everybody out for
    // as long as the block lives.
    Field(DatabaseBlockField::EXCLUSIVE_HOLDER).compare_exchange_strong(exclusive, 0);
    exclusive = Read(DatabaseBlockField::EXCLUSIVE_HOLDER);
  }
  if (exclusive != 0 && (!allow_while_suspended || !ExclusiveSuspended())) {
    Close();
    return false;
  }
  if (Read(DatabaseBlockField::PROTOCOL) == 0 && Read(DatabaseBlockField::HOST) == 0) Initialise();
  if (Read(DatabaseBlockField::PROTOCOL) != 0) {
    Write(DatabaseBlockField::ATTACH_COUNT, Read(DatabaseBlockField::ATTACH_COUNT) + 1);
  } else {
    Write(DatabaseBlockField::ATTACH_COUNT, 255);
  }
  return true;
}

std::int32_t DatabaseBlock::GetAttachCount() const {
  return IsAttached() ? Read(DatabaseBlockField::ATTACH_COUNT) : 0;
}

bool DatabaseBlock::RequestOwnership() {
  if (Read(DatabaseBlockField::OWNER) == m_processid) return true;
  MutexHold hold(*this);
  const std::int32_t owner = Read(DatabaseBlockField::OWNER);
  const std::int32_t requester = Read(DatabaseBlockField::REQUESTER);
  if (owner == DATABASE_BLOCK_NO_PROCESS &&
      (requester == DATABASE_BLOCK_NO_PROCESS || requester == m_processid)) {
    Write(DatabaseBlockField::OWNER, m_processid);
    Write(DatabaseBlockField::REQUESTER, DATABASE_BLOCK_NO_PROCESS);
    return true;
  }
  if (requester == DATABASE_BLOCK_NO_PROCESS) Write(DatabaseBlockField::REQUESTER, m_processid);
  return false;
}

bool DatabaseBlock::TakeExclusive() {
  if (!IsAttached() || Read(DatabaseBlockField::EXCLUSIVE_HOLDER) != 0 ||
      Read(DatabaseBlockField::ATTACH_COUNT) > 1) {
    return false;
  }
  if (!RequestOwnership()) return false;
  Write(DatabaseBlockField::EXCLUSIVE_HOLDER, m_processid);
  return true;
}

void DatabaseBlock::ReleaseExclusive() {
  if (!IsAttached() || Read(DatabaseBlockField::EXCLUSIVE_HOLDER) != m_processid) return;
  Write(DatabaseBlockField::EXCLUSIVE_HOLDER, 0);
  if (Read(DatabaseBlockField::OWNER) == m_processid) {
    Write(DatabaseBlockField::OWNER, DATABASE_BLOCK_NO_PROCESS);
  }
}

void DatabaseBlock::Close() {
  if (!IsAttached()) {
    CloseHandles();
    return;
  }
  if (Read(DatabaseBlockField::OWNER) == m_processid) {
    Write(DatabaseBlockField::OWNER, DATABASE_BLOCK_NO_PROCESS);
  }
  {
    MutexHold hold(*this);
    if (m_ishost) {
      Write(DatabaseBlockField::HOST, DATABASE_BLOCK_NO_PROCESS);
      if (Read(DatabaseBlockField::PROTOCOL) != 0) {
        Write(DatabaseBlockField::ATTACH_COUNT, Read(DatabaseBlockField::ATTACH_COUNT) - 1);
      }
    }
    LeavePresence();
  }
  CloseHandles();
}

void DatabaseBlock::LeavePresence() {
  if (m_view != nullptr) {
    munmap(m_view, DATABASE_BLOCK_SIZE);
    m_view = nullptr;
  }
  if (m_blockfd >= 0) {
    close(m_blockfd);
    m_blockfd = -1;
  }
  if (m_presencefd >= 0) {
    close(m_presencefd);
    m_presencefd = -1;
  }
  const int probe = open(m_presencepath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (probe >= 0) {
    if (TryLockExclusive(probe)) {
      // Nobody attached any more: the objects vanish with the last holder.
      unlink(m_blockpath.c_str());
      unlink(m_presencepath.c_str());
      unlink(m_mutexpath.c_str());
    }
    close(probe);
  }
  m_ishost = false;
}

void DatabaseBlock::CloseHandles() {
  if (m_view != nullptr) {
    munmap(m_view, DATABASE_BLOCK_SIZE);
    m_view = nullptr;
  }
  for (int* fd : {&m_blockfd, &m_presencefd, &m_mutexfd}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  m_mutexdepth = 0;
  m_ishost = false;
}

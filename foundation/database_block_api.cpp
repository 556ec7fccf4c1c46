#include "foundation/database_block_api.h"

#include <mutex>

#include "foundation/database_block.h"

namespace {

struct ProcessBlock {
  std::mutex lock;
  DatabaseBlock block;  // guarded by lock
};

// Never destroyed: the kernel releases the locks and mapping at exit, and
// the next opener finds the block fresh.
ProcessBlock& Instance() {
  static ProcessBlock* instance = new ProcessBlock;
  return *instance;
}

}  // namespace

bool OpenDatabaseBlock(const std::string& database_path, bool allow_while_suspended) {
  ProcessBlock& instance = Instance();
  std::lock_guard<std::mutex> guard(instance.lock);
  return instance.block.Open(database_path, allow_while_suspended);
}

std::int32_t GetAttachCount() {
  ProcessBlock& instance = Instance();
  std::lock_guard<std::mutex> guard(instance.lock);
  return instance.block.GetAttachCount();
}

bool TakeExclusive() {
  ProcessBlock& instance = Instance();
  std::lock_guard<std::mutex> guard(instance.lock);
  return instance.block.TakeExclusive();
}

void ReleaseExclusive() {
  ProcessBlock& instance = Instance();
  std::lock_guard<std::mutex> guard(instance.lock);
  instance.block.ReleaseExclusive();
}

void CloseDatabaseBlock() {
  ProcessBlock& instance = Instance();
  std::lock_guard<std::mutex> guard(instance.lock);
  instance.block.Close();
}

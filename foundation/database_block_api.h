// The patcher's process-wide attachment to the asset database's ownership
// block (database_block.h). The files-in-use gate opens it and takes the
// database exclusively; the rebuild lets it go before the product's
// utility runs. Any thread may call; calls are serialised.
#pragma once

#include <cstdint>
#include <string>

bool OpenDatabaseBlock(const std::string& database_path, bool allow_while_suspended);
std::int32_t GetAttachCount();
bool TakeExclusive();
void ReleaseExclusive();
void CloseDatabaseBlock();

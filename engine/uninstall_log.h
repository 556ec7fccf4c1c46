// Entering the files a patch added into the installer's uninstaller log
// "unins000.dat", so that uninstalling removes them too. The parts of the
// log's layout that are touched, and the records written, are described in
// docs/formats/uninstall-log.md; everything else is copied byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace BramPatch {

constexpr const char* UNINSTALL_LOG_NAME = "unins000.dat";
constexpr const char* UNINSTALL_LOG_TEMP_NAME = "unins000_temp.dat";
constexpr std::uint32_t UNINSTALL_LOG_HEADER_SIZE = 448;
constexpr std::uint32_t UNINSTALL_LOG_HEADER_RECORDS = 324;  // u32 number of records
constexpr std::uint32_t UNINSTALL_LOG_HEADER_END = 328;      // u32 end offset
constexpr std::uint32_t UNINSTALL_LOG_HEADER_CRC = 444;      // u32 CRC-32 of bytes 0..443
constexpr std::uint32_t UNINSTALL_LOG_BLOCK_HEADER_SIZE = 12;
constexpr std::uint32_t UNINSTALL_LOG_BLOCK_DATA_SIZE = 4096;
constexpr std::uint32_t UNINSTALL_LOG_FINAL_RECORD_SIZE = 28;
constexpr std::uint16_t UNINSTALL_LOG_RECORD_DELETE_FILE = 0x0082;

// Receives a user-facing text with its kind (0 normal, 1 secondary, 2 error).
using UninstallLogMessageSink = std::function<void(int kind, const std::string& text)>;

// The delete-file record for one full path, already in the 8-bit form.
std::string BuildDeleteFileRecord(std::string_view narrow_path);

// Appends one delete-file record per path of the added list of `patch_dir`
// (manifest order) to install_dir/unins000.dat, moving the log's final
// 28-byte record behind them and keeping blocks, CRCs and header counters
// valid. The new log is written completely to unins000_temp.dat and then
// renamed over the old one, so the log is never missing and never half
// written.
//
// Returns true, with the log untouched, when the added list is empty or
// missing (the missing manifest is posted, kind 2), when there is no log (or
// it cannot be opened for update), or when the log's layout cannot be
// updated safely (too short, a partial block, a damaged last block: a
// diagnostic line says which). Returns false, with the log untouched and no
// temporary file left, when the temporary log cannot be created or written
// completely, or when an added path fails the path validator (posted, kind
// 2). When only the final rename fails, the log stays as it was,
// unins000_temp.dat is left beside it and the result is still true.
bool UpdateUninstallLog(const std::string& install_dir, const std::string& patch_dir,
                        const UninstallLogMessageSink& post_message = {});

}  // namespace BramPatch

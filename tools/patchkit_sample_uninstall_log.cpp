#include "tools/patchkit_sample_uninstall_log.h"

#include <zlib.h>

#include <string_view>

#include "engine/le_fields.h"
#include "engine/uninstall_log.h"

namespace BramPatch {

namespace {

constexpr std::size_t UNINSTALL_LOG_ID_FIELD = 0;      // 64 bytes
constexpr std::size_t UNINSTALL_LOG_KEY_FIELD = 64;    // 128 bytes
constexpr std::size_t UNINSTALL_LOG_NAME_FIELD = 192;  // 128 bytes
constexpr std::size_t UNINSTALL_LOG_TEXT_FIELD_SIZES[] = {64, 128, 128};

std::uint32_t Crc32(std::string_view data) {
  return static_cast<std::uint32_t>(
      crc32_z(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

// Stores `text` NUL-padded into its field; false when it leaves no NUL.
bool StoreText(std::string* header, std::size_t offset, std::size_t width,
               const std::string& text) {
  if (text.size() >= width) return false;
  header->replace(offset, text.size(), text);
  return true;
}

}  // namespace

bool ComposeUninstallLog(const std::string& app_key, const std::string& app_name,
                         const std::vector<std::string>& records, const std::string& final_record,
                         std::string* log, std::string* error) {
  if (final_record.size() != UNINSTALL_LOG_FINAL_RECORD_SIZE) {
    *error = "the final record of an uninstaller log must be 28 bytes long";
    return false;
  }
  std::string data;
  for (const std::string& record : records) data += record;
  data += final_record;
  const std::size_t last = data.size() % UNINSTALL_LOG_BLOCK_DATA_SIZE;
  if (last < UNINSTALL_LOG_FINAL_RECORD_SIZE) {
    *error = "the uninstaller log's last block would hold " +
             (last == 0 ? std::string("exactly 4096") : "only " + std::to_string(last)) + " bytes";
    return false;
  }

  std::string header(UNINSTALL_LOG_HEADER_SIZE, '\0');
  if (!StoreText(&header, UNINSTALL_LOG_ID_FIELD, UNINSTALL_LOG_TEXT_FIELD_SIZES[0],
                 SAMPLE_UNINSTALL_LOG_ID) ||
      !StoreText(&header, UNINSTALL_LOG_KEY_FIELD, UNINSTALL_LOG_TEXT_FIELD_SIZES[1], app_key) ||
      !StoreText(&header, UNINSTALL_LOG_NAME_FIELD, UNINSTALL_LOG_TEXT_FIELD_SIZES[2], app_name)) {
    *error = "an application name does not fit the uninstaller log's header";
    return false;
  }
  std::string body;
  for (std::size_t at = 0; at < data.size(); at += UNINSTALL_LOG_BLOCK_DATA_SIZE) {
    const std::string_view block = std::string_view(data).substr(at, UNINSTALL_LOG_BLOCK_DATA_SIZE);
    AppendLe(&body, block.size(), 4);
    AppendLe(&body, ~static_cast<std::uint32_t>(block.size()), 4);
    AppendLe(&body, Crc32(block), 4);
    body += block;
  }
  StoreLe(&header, UNINSTALL_LOG_HEADER_RECORDS, records.size() + 1, 4);
  StoreLe(&header, UNINSTALL_LOG_HEADER_END, header.size() + body.size(), 4);
  StoreLe(&header, UNINSTALL_LOG_HEADER_CRC,
          Crc32(std::string_view(header).substr(0, UNINSTALL_LOG_HEADER_CRC)), 4);
  *log = header + body;
  return true;
}

}  // namespace BramPatch

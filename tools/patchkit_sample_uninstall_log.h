// Writing an uninstaller log "unins000.dat" from scratch, as the product's
// installer leaves it: the header, the records cut into blocks with their
// sizes, complements and CRCs, and the closing record at the end. The layout
// is docs/formats/uninstall-log.md; what a sample's log holds is
// docs/sample-installation.md.
#pragma once

#include <string>
#include <vector>

namespace BramPatch {

// The text the sample's logs carry at the start of their header.
constexpr const char* SAMPLE_UNINSTALL_LOG_ID = "Inno Setup Uninstall Log (b)";

// The log's bytes: a 448-byte header (identifying text, application key and
// name in its first 320 bytes, the number of records, the end offset = the
// file's size, the header CRC), then blocks of 4096 data bytes and one last
// shorter block. `records` are complete records, written in order;
// `final_record` (28 bytes) ends the data.
//
// False, with *error set, when final_record is not 28 bytes long, a name does
// not fit its field, or the last block would hold fewer than 28 bytes or
// exactly 4096 (a layout the patcher's update does not extend); callers then
// add a record to shift the cut.
bool ComposeUninstallLog(const std::string& app_key, const std::string& app_name,
                         const std::vector<std::string>& records, const std::string& final_record,
                         std::string* log, std::string* error);

}  // namespace BramPatch

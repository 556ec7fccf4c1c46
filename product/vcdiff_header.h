// The start of a VCDIFF delta (RFC 3284) as far as the product's diff tools
// read it: the magic, the header indicator and xdelta3's application header
// (indicator bit 0x04), which the archive diffs use to carry the checksums
// of the archive they were made from and the one they produce.
// Format: docs/formats/archive-diff.md.
#pragma once

#include <string>

namespace BramPatch {

struct VcdiffHeader {
  unsigned m_indicator = 0;
  bool m_hasApplicationHeader = false;
  std::string m_applicationHeader;
};

// Reads the header at the start of the file at `path`. False when the file
// cannot be read, does not start with the VCDIFF magic of version 0, or ends
// inside the header.
bool ReadVcdiffHeader(const std::string& path, VcdiffHeader* header);

// The application header of an archive diff: "omvel-pak/" + source MD5 +
// "/" + target MD5 (32 lowercase hexadecimal digits each).
std::string MakeArchiveDiffHeader(const std::string& source_md5, const std::string& target_md5);

// The two checksums of an archive diff's application header; false when it
// is not one.
bool ParseArchiveDiffHeader(const std::string& application_header, std::string* source_md5,
                            std::string* target_md5);

}  // namespace BramPatch

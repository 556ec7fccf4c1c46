#include "product/vcdiff_header.h"

#include <cstdio>
#include <memory>

#include "foundation/paths.h"

namespace BramPatch {

namespace {

constexpr unsigned char VCDIFF_MAGIC[4] = {0xD6, 0xC3, 0xC4, 0x00};
constexpr unsigned VCD_DECOMPRESS = 0x01;
constexpr unsigned VCD_CODETABLE = 0x02;
constexpr unsigned VCD_APPHEADER = 0x04;
// Longer application headers are not ours; they are refused unread.
constexpr unsigned long VCDIFF_MAX_APPLICATION_HEADER = 4096;
constexpr const char* ARCHIVE_DIFF_TAG = "omvel-pak";
constexpr std::size_t MD5_TEXT_LENGTH = 32;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool ReadByte(std::FILE* file, unsigned* value) {
  const int c = std::fgetc(file);
  if (c == EOF) return false;
  *value = static_cast<unsigned>(c);
  return true;
}

// RFC 3284's variable-length integer: base 128, most significant digit
// first, the top bit set on every byte but the last.
bool ReadVarint(std::FILE* file, unsigned long* value) {
  *value = 0;
  for (int i = 0; i < 5; ++i) {
    unsigned byte;
    if (!ReadByte(file, &byte)) return false;
    *value = (*value << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

bool IsMd5Text(const std::string& text) {
  if (text.size() != MD5_TEXT_LENGTH) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

bool ReadVcdiffHeader(const std::string& path, VcdiffHeader* header) {
  std::string native = path;
  NormalizeSeparators(native);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(native.c_str(), "rb"));
  if (!file) return false;
  for (unsigned char expected : VCDIFF_MAGIC) {
    unsigned byte;
    if (!ReadByte(file.get(), &byte) || byte != expected) return false;
  }
  *header = VcdiffHeader();
  if (!ReadByte(file.get(), &header->m_indicator)) return false;
  if (header->m_indicator & VCD_DECOMPRESS) {
    unsigned compressor;
    if (!ReadByte(file.get(), &compressor)) return false;
  }
  if (header->m_indicator & VCD_CODETABLE) {
    unsigned long length;
    if (!ReadVarint(file.get(), &length)) return false;
    if (std::fseek(file.get(), static_cast<long>(length), SEEK_CUR) != 0) return false;
  }
  if (header->m_indicator & VCD_APPHEADER) {
    unsigned long length;
    if (!ReadVarint(file.get(), &length) || length > VCDIFF_MAX_APPLICATION_HEADER) return false;
    header->m_applicationHeader.resize(length);
    if (std::fread(header->m_applicationHeader.data(), 1, length, file.get()) != length) {
      return false;
    }
    header->m_hasApplicationHeader = true;
  }
  return true;
}

std::string MakeArchiveDiffHeader(const std::string& source_md5, const std::string& target_md5) {
  return std::string(ARCHIVE_DIFF_TAG) + "/" + source_md5 + "/" + target_md5;
}

bool ParseArchiveDiffHeader(const std::string& application_header, std::string* source_md5,
                            std::string* target_md5) {
  const std::string prefix = std::string(ARCHIVE_DIFF_TAG) + "/";
  if (application_header.size() != prefix.size() + 2 * MD5_TEXT_LENGTH + 1) return false;
  if (application_header.compare(0, prefix.size(), prefix) != 0) return false;
  if (application_header[prefix.size() + MD5_TEXT_LENGTH] != '/') return false;
  std::string source = application_header.substr(prefix.size(), MD5_TEXT_LENGTH);
  std::string target = application_header.substr(prefix.size() + MD5_TEXT_LENGTH + 1);
  if (!IsMd5Text(source) || !IsMd5Text(target)) return false;
  *source_md5 = std::move(source);
  *target_md5 = std::move(target);
  return true;
}

}  // namespace BramPatch

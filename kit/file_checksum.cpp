#include "kit/file_checksum.h"

#include "foundation/paths.h"
#include "kit/md5.h"
#include "kit/scratch_area.h"
#include "platform/file_io.h"

namespace {

constexpr std::size_t CHECKSUM_READ_PIECE = 1024 * 1024;

}  // namespace

bool ComputeFileChecksum(const std::string& path, std::string* checksum) {
  std::string native = path;
  NormalizeSeparators(native, '/');
  OS::RandomAccessFile file;
  if (!file.Open(native, OS::FILE_OPEN_READ)) return false;
  std::uint8_t* piece = GetScratchArea(ScratchSlot::CHECKSUM, CHECKSUM_READ_PIECE);
  if (piece == nullptr) return false;
  MD5 digest;
  std::uint64_t offset = 0;
  for (;;) {
    std::size_t done = 0;
    if (!file.ReadAt(offset, piece, CHECKSUM_READ_PIECE, &done)) return false;
    digest.update(piece, done);
    offset += done;
    if (done < CHECKSUM_READ_PIECE) break;
  }
  digest.finalize();
  std::string text = digest.hex_digest();
  if (text.empty()) return false;
  *checksum = std::move(text);
  return true;
}

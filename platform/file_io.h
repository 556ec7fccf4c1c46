// Random-access file I/O for the data buffers: one open descriptor, reads and
// writes at explicit offsets, size changes and durability. Paths are UTF-8
// with '/' separators. Functions returning bool keep the failing call's errno
// in GetLastError(); none of them throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace OS {

// Open flags; combine with '|'.
constexpr unsigned FILE_OPEN_READ = 1u;      // reading allowed
constexpr unsigned FILE_OPEN_WRITE = 2u;     // writing allowed
constexpr unsigned FILE_OPEN_CREATE = 4u;    // create when missing (mode 0666 less umask)
constexpr unsigned FILE_OPEN_TRUNCATE = 8u;  // cut an existing file to 0 bytes

class RandomAccessFile {
 public:
  RandomAccessFile() = default;
  ~RandomAccessFile();
  RandomAccessFile(const RandomAccessFile&) = delete;
  RandomAccessFile& operator=(const RandomAccessFile&) = delete;

  // Opens `path` with `flags` (at least one of READ and WRITE), closing any
  // file held before. Directories are refused (EISDIR). On failure the object
  // holds no file.
  bool Open(const std::string& path, unsigned flags);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }

  // Reads up to `count` bytes at `offset`. *done receives the bytes read:
  // fewer than `count` only at the end of the file or when the call fails.
  bool ReadAt(std::uint64_t offset, void* bytes, std::size_t count, std::size_t* done);

  // Writes `count` bytes at `offset`, extending the file as needed (a gap
  // reads as zero bytes). *done receives the bytes written; fewer than
  // `count` only when the call fails.
  bool WriteAt(std::uint64_t offset, const void* bytes, std::size_t count, std::size_t* done);

  // Cuts or extends the file to `size` bytes (REQUIRES: opened for writing).
  bool Resize(std::uint64_t size);

  // Makes the written bytes durable (fsync).
  bool Sync();

  // The file's current length; on failure *size is 0.
  bool QuerySize(std::uint64_t* size);

  // errno of the last failing call, 0 when none has failed.
  int GetLastError() const { return m_error; }

 private:
  bool Fail();  // records errno, returns false

  int m_fd = -1;
  int m_error = 0;
};

}  // namespace OS

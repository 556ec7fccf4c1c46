// BramDataBufferFile: a data buffer over a file opened by path.
//
// Access modes (constructor argument):
//   BRAMFILE_MODE_READ        0  existing file, read only; size = its length
//   BRAMFILE_MODE_CREATE      1  created or truncated, write only; size 0
//   BRAMFILE_MODE_UPDATE      2  existing file kept (created when missing),
//                                write only; size = its length
//   BRAMFILE_MODE_READ_WRITE  3  existing file, read and write
// Reads and writes go to the cached position; the position is not limited to
// the size (writing beyond the end leaves a gap of zero bytes). Every write
// goes to the file before WriteData returns; Flush makes the written bytes
// durable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kit/data_buffer.h"
#include "platform/file_io.h"

constexpr std::int32_t BRAMFILE_MODE_READ = 0;
constexpr std::int32_t BRAMFILE_MODE_CREATE = 1;
constexpr std::int32_t BRAMFILE_MODE_UPDATE = 2;
constexpr std::int32_t BRAMFILE_MODE_READ_WRITE = 3;

class BramDataBufferFile : public BramDataBuffer {
 public:
  // Opens `path` (UTF-8; '\' and '/' both separate components). A failed
  // open, or an unknown mode (which logs "BramDataBufferFile> unknown access
  // mode <mode>"), leaves the buffer unopened:
  // IsOpen() is false and every operation returns BRAMRESULT_NOT_OPEN.
  BramDataBufferFile(const std::string& path, std::int32_t mode);
  ~BramDataBufferFile() override;

  bool IsOpen() const { return m_file.IsOpen(); }
  std::int32_t GetMode() const { return m_mode; }
  // The path as opened, with '/' separators.
  const std::string& GetPath() const { return m_path; }

  std::uint64_t GetSize() override { return m_size; }
  // Cuts or extends the file; the position moves to the smaller of itself
  // and the new size. BRAMRESULT_IO_FAILURE when the file cannot be resized
  // (e.g. in read mode); size and position then stay as they were.
  BramResult SetSize(std::uint64_t size) override;
  std::uint64_t GetPosition() override { return m_position; }
  BramResult SetPosition(std::uint64_t position) override;
  // BRAMRESULT_NOT_ALLOWED in read mode; BRAMRESULT_IO_FAILURE when not all
  // bytes were written (the position then counts those that were).
  BramResult WriteData(const void* bytes, std::uint32_t count) override;
  // BRAMRESULT_NOT_ALLOWED in the write-only modes; BRAMRESULT_IO_FAILURE
  // when fewer than `count` bytes could be read, at the end of the file too.
  BramResult ReadData(void* bytes, std::uint32_t count) override;
  void Flush() override;

 private:
  // Small reads are served from a read-ahead window of the file.
  static constexpr std::uint32_t READ_AHEAD_SIZE = 16384;
  static constexpr std::uint32_t READ_AHEAD_MAX_REQUEST = 4096;

  BramResult ReadThroughWindow(void* bytes, std::uint32_t count);
  void DropReadAhead() { m_window_length = 0; }

  OS::RandomAccessFile m_file;
  std::int32_t m_mode;
  std::uint64_t m_size = 0;
  std::uint64_t m_position = 0;
  std::string m_path;

  std::unique_ptr<std::uint8_t[]> m_window;  // allocated on the first small read
  std::uint64_t m_window_offset = 0;         // file offset of m_window[0]
  std::uint32_t m_window_length = 0;         // valid bytes in m_window
};

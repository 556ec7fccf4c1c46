#include "kit/data_buffer_file.h"

#include <algorithm>
#include <cstring>

#include "foundation/log.h"
#include "foundation/paths.h"

BramDataBufferFile::BramDataBufferFile(const std::string& path, std::int32_t mode)
    : m_mode(mode), m_path(path) {
  NormalizeSeparators(m_path, '/');
  unsigned flags;
  switch (mode) {
    case BRAMFILE_MODE_READ:
      flags = OS::FILE_OPEN_READ;
      break;
    case BRAMFILE_MODE_CREATE:
      flags = OS::FILE_OPEN_WRITE | OS::FILE_OPEN_CREATE | OS::FILE_OPEN_TRUNCATE;
      break;
    case BRAMFILE_MODE_UPDATE:
      flags = OS::FILE_OPEN_WRITE;
      break;
    case BRAMFILE_MODE_READ_WRITE:
      flags = OS::FILE_OPEN_READ | OS::FILE_OPEN_WRITE;
      break;
    default:
      // Through the log so that the line keeps the encoding of standard
      // output when a launcher redirected it.
      LogPrintf("BramDataBufferFile> unknown access mode %d", static_cast<int>(mode));
      return;
  }
  bool opened = m_file.Open(m_path, flags);
  if (!opened && mode == BRAMFILE_MODE_UPDATE) {
    // A missing file is created. An existing one is never truncated here,
    // whatever made the first open fail.
    opened = m_file.Open(m_path, OS::FILE_OPEN_WRITE | OS::FILE_OPEN_CREATE);
  }
  if (!opened) return;
  if (mode != BRAMFILE_MODE_CREATE && !m_file.QuerySize(&m_size)) m_file.Close();
}

BramDataBufferFile::~BramDataBufferFile() = default;

BramResult BramDataBufferFile::SetSize(std::uint64_t size) {
  if (!m_file.IsOpen()) return BRAMRESULT_NOT_OPEN;
  DropReadAhead();
  if (!m_file.Resize(size)) return BRAMRESULT_IO_FAILURE;
  m_size = size;
  m_position = std::min(m_position, size);
  return BRAMRESULT_OK;
}

BramResult BramDataBufferFile::SetPosition(std::uint64_t position) {
  if (!m_file.IsOpen()) return BRAMRESULT_NOT_OPEN;
  m_position = position;
  return BRAMRESULT_OK;
}

BramResult BramDataBufferFile::WriteData(const void* bytes, std::uint32_t count) {
  if (!m_file.IsOpen()) return BRAMRESULT_NOT_OPEN;
  if (m_mode == BRAMFILE_MODE_READ) return BRAMRESULT_NOT_ALLOWED;
  if (count == 0) return BRAMRESULT_OK;
  DropReadAhead();
  std::size_t done = 0;
  const bool ok = m_file.WriteAt(m_position, bytes, count, &done);
  m_position += done;
  m_size = std::max(m_size, m_position);
  return ok && done == count ? BRAMRESULT_OK : BRAMRESULT_IO_FAILURE;
}

BramResult BramDataBufferFile::ReadData(void* bytes, std::uint32_t count) {
  if (!m_file.IsOpen()) return BRAMRESULT_NOT_OPEN;
  if (m_mode == BRAMFILE_MODE_CREATE || m_mode == BRAMFILE_MODE_UPDATE) {
    return BRAMRESULT_NOT_ALLOWED;
  }
  if (count == 0) return BRAMRESULT_OK;
  if (count <= READ_AHEAD_MAX_REQUEST) return ReadThroughWindow(bytes, count);
  std::size_t done = 0;
  const bool ok = m_file.ReadAt(m_position, bytes, count, &done);
  m_position += done;
  return ok && done == count ? BRAMRESULT_OK : BRAMRESULT_IO_FAILURE;
}

BramResult BramDataBufferFile::ReadThroughWindow(void* bytes, std::uint32_t count) {
  const bool inside = m_window_length != 0 && m_position >= m_window_offset &&
                      m_position - m_window_offset + count <= m_window_length;
  if (!inside) {
    if (!m_window) m_window.reset(new (std::nothrow) std::uint8_t[READ_AHEAD_SIZE]);
    if (!m_window) {  // no window: read directly
      std::size_t done = 0;
      const bool ok = m_file.ReadAt(m_position, bytes, count, &done);
      m_position += done;
      return ok && done == count ? BRAMRESULT_OK : BRAMRESULT_IO_FAILURE;
    }
    std::size_t done = 0;
    const bool ok = m_file.ReadAt(m_position, m_window.get(), READ_AHEAD_SIZE, &done);
    m_window_offset = m_position;
    m_window_length = static_cast<std::uint32_t>(done);
    if (!ok && done < count) {
      // The bytes before the failure are still delivered, as a direct read
      // would deliver them.
      std::memcpy(bytes, m_window.get(), done);
      m_position += done;
      DropReadAhead();
      return BRAMRESULT_IO_FAILURE;
    }
  }
  const std::uint64_t start = m_position - m_window_offset;
  const std::uint32_t available =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(count, m_window_length - start));
  std::memcpy(bytes, m_window.get() + start, available);
  m_position += available;
  return available == count ? BRAMRESULT_OK : BRAMRESULT_IO_FAILURE;
}

void BramDataBufferFile::Flush() {
  if (m_file.IsOpen() && m_mode != BRAMFILE_MODE_READ) m_file.Sync();
}

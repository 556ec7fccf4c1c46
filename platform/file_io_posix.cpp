#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace OS {

namespace {

// pread/pwrite move at most this much per call on Linux.
constexpr std::size_t MAX_IO_STEP = 0x7FFFF000;

}  // namespace

RandomAccessFile::~RandomAccessFile() { Close(); }

bool RandomAccessFile::Fail() {
  m_error = errno;
  return false;
}

bool RandomAccessFile::Open(const std::string& path, unsigned flags) {
  Close();
  int oflags = O_CLOEXEC;
  const bool read = (flags & FILE_OPEN_READ) != 0;
  const bool write = (flags & FILE_OPEN_WRITE) != 0;
  if (read && write) {
    oflags |= O_RDWR;
  } else if (write) {
    oflags |= O_WRONLY;
  } else if (read) {
    oflags |= O_RDONLY;
  } else {
    m_error = EINVAL;
    return false;
  }
  if (flags & FILE_OPEN_CREATE) oflags |= O_CREAT;
  if (flags & FILE_OPEN_TRUNCATE) oflags |= O_TRUNC;

  int fd;
  do {
    fd = ::open(path.c_str(), oflags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail();

  // open() accepts a directory for reading; a data buffer over one makes no
  // sense, so it is refused like any other file that cannot be opened.
  struct stat st;
  int error = 0;
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
  }
  if (error != 0) {
    ::close(fd);
    m_error = error;
    return false;
  }
  m_fd = fd;
  m_error = 0;
  return true;
}

void RandomAccessFile::Close() {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

bool RandomAccessFile::ReadAt(std::uint64_t offset, void* bytes, std::size_t count,
                              std::size_t* done) {
  *done = 0;
  if (m_fd < 0) {
    m_error = EBADF;
    return false;
  }
  auto* out = static_cast<unsigned char*>(bytes);
  while (*done < count) {
    const std::size_t step = count - *done < MAX_IO_STEP ? count - *done : MAX_IO_STEP;
    const ssize_t n = ::pread(m_fd, out + *done, step, static_cast<off_t>(offset + *done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    if (n == 0) break;  // end of file
    *done += static_cast<std::size_t>(n);
  }
  return true;
}

bool RandomAccessFile::WriteAt(std::uint64_t offset, const void* bytes, std::size_t count,
                               std::size_t* done) {
  *done = 0;
  if (m_fd < 0) {
    m_error = EBADF;
    return false;
  }
  const auto* in = static_cast<const unsigned char*>(bytes);
  while (*done < count) {
    const std::size_t step = count - *done < MAX_IO_STEP ? count - *done : MAX_IO_STEP;
    const ssize_t n = ::pwrite(m_fd, in + *done, step, static_cast<off_t>(offset + *done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    if (n == 0) {
      m_error = EIO;
      return false;
    }
    *done += static_cast<std::size_t>(n);
  }
  return true;
}

bool RandomAccessFile::Resize(std::uint64_t size) {
  if (size > static_cast<std::uint64_t>(LLONG_MAX)) {
    m_error = EFBIG;
    return false;
  }
  int rc;
  do {
    rc = ::ftruncate(m_fd, static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? true : Fail();
}

bool RandomAccessFile::Sync() { return ::fsync(m_fd) == 0 ? true : Fail(); }

bool RandomAccessFile::QuerySize(std::uint64_t* size) {
  *size = 0;
  struct stat st;
  if (::fstat(m_fd, &st) != 0) return Fail();
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

}  // namespace OS

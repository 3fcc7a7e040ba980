// A recording's files on Linux: POSIX file calls, errno's text as the reason.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "RecordDisk.h"

namespace recording::disk {

namespace {

base::Failure Failed(const std::string& path, int error) {
  return base::Failure{base::Failure::Kind::FileNotWritten, path, std::strerror(error),
                       base::CauseOfErrno(error)};
}

}  // namespace

base::Result<intptr_t> CreateNew(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return Failed(path, errno);
  flock(fd, LOCK_EX | LOCK_NB);
  return intptr_t{fd};
}

bool Held(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  return held;
}

base::Result<intptr_t> OpenExisting(const std::string& path, bool writing) {
  const int fd = open(path.c_str(), (writing ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Failed(path, errno);
  return intptr_t{fd};
}

base::Result<> WriteAll(intptr_t handle, const void* bytes, size_t length) {
  const char* p = static_cast<const char*>(bytes);
  while (length > 0) {
    const ssize_t n = write(static_cast<int>(handle), p, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Failed({}, n < 0 ? errno : ENOSPC);
    p += n;
    length -= static_cast<size_t>(n);
  }
  return {};
}

base::Result<size_t> ReadAt(intptr_t handle, uint64_t offset, void* into, size_t length) {
  size_t got = 0;
  while (got < length) {
    const ssize_t n = pread(static_cast<int>(handle), static_cast<char*>(into) + got, length - got,
                            static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed({}, errno);
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

base::Result<uint64_t> SizeOf(intptr_t handle) {
  struct stat s;
  if (fstat(static_cast<int>(handle), &s) != 0) return Failed({}, errno);
  return static_cast<uint64_t>(s.st_size);
}

base::Result<> SyncData(intptr_t handle) {
  if (fdatasync(static_cast<int>(handle)) != 0) return Failed({}, errno);
  return {};
}

base::Result<> TruncateTo(intptr_t handle, uint64_t size) {
  const int fd = static_cast<int>(handle);
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) return Failed({}, errno);
  if (lseek(fd, static_cast<off_t>(size), SEEK_SET) < 0) return Failed({}, errno);
  return {};
}

void Close(intptr_t handle) {
  close(static_cast<int>(handle));
}

}  // namespace recording::disk

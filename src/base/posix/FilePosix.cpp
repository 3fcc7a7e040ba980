// Whole-file writes on Linux: POSIX file calls, errno's text as the reason.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FilePlatform.h"
#include "WholeFile.h"

namespace base {

const char kPathSeparator = '/';
const char kPathSeparators[] = "/";

namespace {

Failure SystemFailure(int error) {
  return Failure{Failure::Kind::FileNotWritten, {}, std::strerror(error), CauseOfErrno(error)};
}

Failure NotWritten(const std::string& path, int error) {
  return Failure{Failure::Kind::FileNotWritten, path, std::strerror(error), CauseOfErrno(error)};
}

}  // namespace

Result<> CheckWriteTarget(const std::string& finalPath) {
  struct stat folder;
  if (stat(DirectoryOfPath(finalPath).c_str(), &folder) != 0) return NotWritten(finalPath, errno);
  if (!S_ISDIR(folder.st_mode)) return NotWritten(finalPath, ENOTDIR);
  // lstat never opens what it looks at, so a FIFO here cannot block.
  struct stat existing;
  if (lstat(finalPath.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) return NotWritten(finalPath, EISDIR);
    if (S_ISREG(existing.st_mode) && (existing.st_mode & 0222) == 0) {
      return Failure{Failure::Kind::FileNotWritten, finalPath, "read-only file"};
    }
  }
  return {};
}

namespace platform {

// O_EXCL refuses a link or anything else already there; the lock is held until the file
// has its name.
Result<intptr_t> CreateExclusive(const std::string& path, bool& nameTaken) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    nameTaken = errno == EEXIST;
    return SystemFailure(errno);
  }
  flock(fd, LOCK_EX | LOCK_NB);
  return intptr_t{fd};
}

Result<> WriteAll(intptr_t handle, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = write(static_cast<int>(handle), p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return SystemFailure(n == 0 ? EIO : errno);
    p += n;
    left -= static_cast<size_t>(n);
  }
  return {};
}

Result<> FlushAndClose(intptr_t handle) {
  const int fd = static_cast<int>(handle);
  int error = 0;
  if (fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) return SystemFailure(error);
  return {};
}

void Close(intptr_t handle) {
  close(static_cast<int>(handle));
}

// The rename must be on disk too, or a crash could bring the earlier file back.
Result<> MoveOver(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0) return SystemFailure(errno);
  const int directory = open(DirectoryOfPath(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    fsync(directory);
    close(directory);
  }
  return {};
}

void Remove(const std::string& path) {
  unlink(path.c_str());
}

}  // namespace platform
}  // namespace base

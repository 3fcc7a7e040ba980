// Data files on Linux: the directory from TMPDIR, GBK through iconv, and the atomic write
// with POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "DataFile.h"
#include "DataFilePlatform.h"

namespace acquisition {

using base::Failure;

const char kPathSeparator = '/';
const char kPathSeparators[] = "/";

// The usual place for temporary files: TMPDIR when it is set, so that every test and
// script can give the program a directory of its own.
std::string DefaultDataDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  return tmpdir && *tmpdir ? tmpdir : "/tmp";
}

std::string DirectoryCaption(const std::string& directory) {
  return "文件保存到:" + directory;
}

bool ToGbk(std::string_view utf8, std::string& out) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string converted(utf8.size() * 2 + 4, '\0');  // GBK never needs more bytes than UTF-8
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* to = converted.data();
  size_t toLeft = converted.size();
  size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1) || inLeft != 0) return false;
  converted.resize(converted.size() - toLeft);
  out = std::move(converted);
  return true;
}

namespace {

Failure NotWritten(const std::string& path, int error) {
  return Failure{Failure::Kind::FileNotWritten, path, std::strerror(error)};
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// O_EXCL makes the name ours alone and refuses a link or anything else already there.
int CreateTemporary(const std::string& finalPath, std::string& temporaryPath) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static thread_local std::minstd_rand random{std::random_device{}()};
  const std::string directory = DirectoryOf(finalPath);
  const std::string name = finalPath.substr(finalPath.rfind('/') + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix(6, ' ');
    for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
    temporaryPath = directory + "/." + name + "." + suffix + std::string(kTemporarySuffix);
    int fd =
        open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    // Held until the file has its name: a program starting meanwhile leaves it alone.
    if (fd >= 0) flock(fd, LOCK_EX | LOCK_NB);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// The rename must be on disk too, or a crash could bring the earlier file back.
void FlushDirectory(const std::string& directory) {
  int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

base::Result<> CheckWriteTarget(const std::string& finalPath) {
  struct stat folder;
  if (stat(DirectoryOf(finalPath).c_str(), &folder) != 0) return NotWritten(finalPath, errno);
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

base::Result<PendingFile> WriteTemporaryFile(const std::string& finalPath, std::string_view bytes) {
  if (auto target = CheckWriteTarget(finalPath); !target) return target.failure();
  PendingFile file;
  file.finalPath = finalPath;
  const int fd = CreateTemporary(finalPath, file.temporaryPath);
  if (fd < 0) return NotWritten(finalPath, errno);
  if (!WriteAll(fd, bytes)) {
    const int error = errno;
    close(fd);
    unlink(file.temporaryPath.c_str());
    return NotWritten(finalPath, error);
  }
  file.handle = fd;
  return file;
}

base::Result<> CommitFile(PendingFile& file) {
  const int fd = static_cast<int>(file.handle);
  file.handle = -1;
  int error = 0;
  if (fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(file.temporaryPath.c_str(), file.finalPath.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    unlink(file.temporaryPath.c_str());
    return NotWritten(file.finalPath, error);
  }
  FlushDirectory(DirectoryOf(file.finalPath));
  return {};
}

void DiscardFile(PendingFile& file) {
  if (file.handle < 0) return;
  close(static_cast<int>(file.handle));
  file.handle = -1;
  unlink(file.temporaryPath.c_str());
}

std::vector<std::string> RecoverLeftoverFiles(const std::string& directory) {
  std::vector<std::string> kept;
  DIR* dir = opendir(directory.c_str());
  if (!dir) return kept;
  while (const dirent* entry = readdir(dir)) {
    if (!IsTemporaryFileName(entry->d_name)) continue;
    const int fd = openat(dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    // A file another program is still finishing holds its lock.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      continue;
    }
    if (st.st_size == 0) {
      unlinkat(dirfd(dir), entry->d_name, 0);
    } else {
      const std::string recovered = RecoveredName(entry->d_name);
      if (renameat(dirfd(dir), entry->d_name, dirfd(dir), recovered.c_str()) == 0) {
        kept.push_back(directory + "/" + recovered + " (" + std::to_string(st.st_size) +
                       " bytes, unfinished: check it is whole)");
      }
    }
    close(fd);
  }
  closedir(dir);
  return kept;
}

}  // namespace acquisition

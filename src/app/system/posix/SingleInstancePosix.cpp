#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SingleInstance.h"

namespace {

// The machine's lock folder, shared by every user: $KZB_LOCK_DIR where set (tests and
// scripts keep their own), else /run/lock, else /var/lock, else /tmp. A folder others may
// write to must be sticky, or another user could remove a held lock and take the card.
bool LockFolder(std::string& folder, std::string& why) {
  const char* chosen = std::getenv("KZB_LOCK_DIR");
  const char* candidates[] = {"/run/lock", "/var/lock", "/tmp"};
  struct stat st;
  if (chosen && *chosen) {
    folder = chosen;
    if (stat(folder.c_str(), &st) != 0) {
      why = folder + ": " + std::strerror(errno);
      return false;
    }
  } else {
    bool found = false;
    for (const char* candidate : candidates) {
      if (stat(candidate, &st) == 0 && S_ISDIR(st.st_mode)) {
        folder = candidate;
        found = true;
        break;
      }
    }
    if (!found) {
      why = "no lock folder (/run/lock, /var/lock or /tmp)";
      return false;
    }
  }
  if (!S_ISDIR(st.st_mode)) {
    why = folder + ": not a folder";
    return false;
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0) {
    why = folder + ": others may write to it and it is not sticky (mode 1777 expected)";
    return false;
  }
  return true;
}

std::string UserName() {
  const passwd* user = getpwuid(getuid());
  return user && user->pw_name ? user->pw_name : std::to_string(getuid());
}

// The lock file, opened without following a link or blocking on a FIFO planted at its name.
// Made by the first program to want it, readable and writable by every user's, so that
// each can take it and say who holds it; one another user made and keeps to themselves is
// still taken, read-only, and only the description is missing.
int OpenLockFile(const std::string& path, std::string& why) {
  const int flags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = open(path.c_str(), O_RDWR | flags);
    if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_RDONLY | flags);
    if (fd < 0 && errno == ENOENT) {
      fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | flags, 0666);
      if (fd >= 0) fchmod(fd, 0666);            // whatever the umask
      if (fd < 0 && errno == EEXIST) continue;  // another program made it first
    }
    if (fd < 0) {
      why = path + ": " + std::strerror(errno);
      return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      why = path + ": not a regular file";
      close(fd);
      return -1;
    }
    return fd;
  }
  why = path + ": made and removed again while opening";
  return -1;
}

}  // namespace

SingleInstance::SingleInstance(const std::string& dataDirectory) {
  std::string folder;
  if (!LockFolder(folder, holder_)) return;
  const std::string path = folder + "/" + kCardLockKey + ".lock";
  const int fd = OpenLockFile(path, holder_);
  if (fd < 0) return;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EWOULDBLOCK) {
      char text[4096];
      const ssize_t n = pread(fd, text, sizeof text, 0);
      state_ = State::AlreadyRuns;
      holder_.assign(text, n > 0 ? static_cast<size_t>(n) : 0);
    } else {
      holder_ = path + ": " + std::strerror(error);
    }
    close(fd);
    return;
  }
  state_ = State::Alone;
  handle_ = fd;
  const std::string self =
      std::to_string(getpid()) + "\n" + dataDirectory + "\n" + UserName() + "\n";
  if (ftruncate(fd, 0) != 0 || pwrite(fd, self.data(), self.size(), 0) < 0) {
    // The lock holds all the same; only the description for a second program is missing.
  }
}

SingleInstance::~SingleInstance() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

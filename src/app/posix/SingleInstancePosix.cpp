#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SingleInstance.h"

namespace {

// XDG_RUNTIME_DIR/kzb7310 where the session has one, else /tmp/kzb7310-UID: either way a
// folder of this user's alone (owner, mode 0700, not a link), or the reason it is not.
bool RuntimeFolder(std::string& folder, std::string& why) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  folder = runtime && *runtime ? std::string(runtime) + "/kzb7310"
                               : "/tmp/kzb7310-" + std::to_string(getuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    why = folder + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0) {
    why = folder + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0) {
    why = folder + ": not a folder of this user's alone (owner and mode 0700 expected)";
    return false;
  }
  return true;
}

std::string FullPath(const std::string& path) {
  char full[PATH_MAX];
  return realpath(path.c_str(), full) ? std::string(full) : path;
}

}  // namespace

SingleInstance::SingleInstance(const std::string& cardLibrary, const std::string& dataDirectory) {
  std::string folder;
  if (!RuntimeFolder(folder, holder_)) return;
  const std::string path = folder + "/" + CardLockName(FullPath(cardLibrary));
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    holder_ = path + ": " + std::strerror(errno);
    return;
  }
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
  const std::string self = std::to_string(getpid()) + "\n" + dataDirectory + "\n";
  if (ftruncate(fd, 0) != 0 || pwrite(fd, self.data(), self.size(), 0) < 0) {
    // The lock holds all the same; only the description for a second program is missing.
  }
}

SingleInstance::~SingleInstance() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

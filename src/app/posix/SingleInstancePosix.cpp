#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "SingleInstance.h"

SingleInstance::SingleInstance(const std::string& dataDirectory) {
  const std::string path = dataDirectory + "/.kzb7310.lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
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

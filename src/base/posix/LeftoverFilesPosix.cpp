// Temporary files left behind on Linux: a file another program still finishes holds its
// lock, and is left alone.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "WholeFile.h"

namespace base {

std::vector<std::string> RecoverLeftoverFiles(const std::string& directory,
                                              std::string_view finalPrefix) {
  std::vector<std::string> kept;
  DIR* dir = opendir(directory.c_str());
  if (!dir) return kept;
  while (const dirent* entry = readdir(dir)) {
    if (!IsTemporaryName(entry->d_name, finalPrefix)) continue;
    const int fd = openat(dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
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

}  // namespace base

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "LibraryLoader.h"

namespace card::loader {

namespace {

// A private copy of the library file in memory, or -1 with the system's reason.
int Snapshot(const std::string& path, std::string& reason) {
  const int source = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) {
    reason = path + ": " + std::strerror(errno);
    return -1;
  }
  const int copy = memfd_create("adcard", MFD_CLOEXEC);
  bool copied = copy >= 0;
  char buffer[1 << 16];
  while (copied) {
    const ssize_t n = read(source, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      copied = n == 0;
      break;
    }
    copied = write(copy, buffer, static_cast<size_t>(n)) == n;
  }
  if (!copied) reason = path + ": " + std::strerror(errno);
  close(source);
  if (!copied && copy >= 0) close(copy);
  return copied ? copy : -1;
}

}  // namespace

// The card library is loaded from a private snapshot of its file: `cp` over the file
// rewrites it in place, under the pages the loader mapped, and would crash the program. A
// library replaced while the program runs is used after a restart. A library this process
// already has (a test linked with the simulated card) is used as it is.
void* Open(const std::string& path, std::string& reason) {
  if (void* loaded = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) return loaded;
  const int snapshot = Snapshot(path, reason);
  if (snapshot < 0) return nullptr;
  const std::string mapped = "/proc/self/fd/" + std::to_string(snapshot);
  void* handle = dlopen(mapped.c_str(), RTLD_NOW | RTLD_LOCAL);
  close(snapshot);  // the mapping stays
  if (!handle) {
    const char* why = dlerror();
    reason = why ? why : "unknown reason";
    // The loader names the snapshot; the operator knows the file.
    for (size_t at; (at = reason.find(mapped)) != std::string::npos;) {
      reason.replace(at, mapped.size(), path);
    }
  }
  return handle;
}

void Close(void* handle) {
  dlclose(handle);
}

void* Symbol(void* handle, const std::string& name) {
  return dlsym(handle, name.c_str());
}

std::vector<std::string> ExportedNames(const EntryPointInfo& entry) {
  return {std::string(entry.name)};
}

// Through /proc/self/exe, so a link to the program elsewhere still finds its own folder.
std::string ExecutableDirectory() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return {};
  std::string path(exe, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace card::loader

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "LibraryLoader.h"

namespace card::loader {

void* Open(const std::string& path, std::string& reason) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    reason = why ? why : "unknown reason";
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

#include "CardLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace card {

std::string ExportedName(Entry entry) {
  const EntryPointInfo& info = kEntryPoints[static_cast<size_t>(entry)];
#if defined(_WIN32)
  return "_" + std::string(info.name) + "@" + std::to_string(4 * info.argCount);
#else
  return std::string(info.name);
#endif
}

std::string DefaultLibraryPath() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return ADCARD_LIBRARY_NAME;
  std::string path(exe, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + ADCARD_LIBRARY_NAME;
}

CardUnavailable::CardUnavailable(Reason reason, std::string subject)
    : std::runtime_error((reason == Reason::LibraryMissing ? "card library not loaded: "
                                                           : "card entry point missing: ") +
                         subject),
      reason(reason),
      subject(std::move(subject)) {}

CardLibrary::CardLibrary(std::string path) : path_(std::move(path)) {}

CardLibrary::~CardLibrary() {
  if (handle_) dlclose(handle_);
}

void* CardLibrary::Handle() {
  if (!loadTried_) {
    loadTried_ = true;
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!handle_) throw CardUnavailable(CardUnavailable::Reason::LibraryMissing, path_);
  return handle_;
}

void* CardLibrary::Resolve(Entry entry) {
  auto i = static_cast<size_t>(entry);
  if (symbols_[i]) return symbols_[i];
  void* handle = Handle();
  if (!symbolTried_[i]) {
    symbolTried_[i] = true;
    symbols_[i] = dlsym(handle, ExportedName(entry).c_str());
  }
  if (!symbols_[i]) {
    throw CardUnavailable(CardUnavailable::Reason::EntryPointMissing,
                          std::string(kEntryPoints[i].name));
  }
  return symbols_[i];
}

}  // namespace card

#include "CardLibrary.h"

#include <fstream>

#include "LibraryLoader.h"

namespace card {

using base::Failure;

// An installed program looks first in the operator's own folder, which no package update
// touches, then next to itself (the simulated card, or a library put there by hand).
std::string DefaultLibraryPath() {
  const std::string operatorDirectory = KZB_OPERATOR_CARD_DIR;
  if (!operatorDirectory.empty()) {
    const std::string path = operatorDirectory + "/" + ADCARD_LIBRARY_NAME;
    if (std::ifstream(path).good()) return path;
  }
  return loader::ExecutableDirectory() + ADCARD_LIBRARY_NAME;
}

CardLibrary::CardLibrary(std::string path) : path_(std::move(path)) {}

CardLibrary::~CardLibrary() {
  if (handle_) loader::Close(handle_);
}

void CardLibrary::AllowRetry() {
  if (!handle_) loadTried_ = false;
}

base::Result<> CardLibrary::Load() {
  if (!handle_ && !loadTried_) {
    loadTried_ = true;
    base::Result<void*> opened = loader::Open(path_);
    if (opened) {
      handle_ = opened.value();
    } else {
      loadError_ = opened.failure();
    }
  }
  if (!handle_) return loadError_;
  return {};
}

bool CardLibrary::IsSimulated() {
  return Load() && loader::Symbol(handle_, "SimCard_Reset") != nullptr;
}

void* CardLibrary::Handle() {
  if (auto loaded = Load(); !loaded) throw CardUnavailable{loaded.failure()};
  return handle_;
}

void* CardLibrary::Resolve(Entry entry) {
  auto i = static_cast<size_t>(entry);
  if (symbols_[i]) return symbols_[i];
  void* handle = Handle();
  const std::vector<std::string> names = loader::ExportedNames(kEntryPoints[i]);
  if (!symbolTried_[i]) {
    symbolTried_[i] = true;
    for (const std::string& name : names) {
      if ((symbols_[i] = loader::Symbol(handle, name))) break;
    }
  }
  if (!symbols_[i]) {
    std::string tried;
    for (const std::string& name : names) tried += (tried.empty() ? "" : ", ") + name;
    throw CardUnavailable{Failure{Failure::Kind::EntryPointMissing,
                                  std::string(kEntryPoints[i].name),
                                  "not exported by " + path_ + " (looked for " + tried + ")"}};
  }
  return symbols_[i];
}

}  // namespace card

#include <windows.h>

#include "LibraryLoader.h"
#include "WideText.h"

namespace card::loader {

void* Open(const std::string& path, std::string& reason) {
  HMODULE module = LoadLibraryW(base::Utf8ToWide(path).c_str());
  if (!module) reason = base::SystemMessage(GetLastError());
  return reinterpret_cast<void*>(module);
}

void Close(void* handle) {
  FreeLibrary(static_cast<HMODULE>(handle));
}

void* Symbol(void* handle, const std::string& name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name.c_str()));
}

// The card maker's 32-bit library exports "_Initial@16": "_", the name, "@" and the bytes of
// its arguments. A 32-bit library made with MinGW drops the "_" ("Initial@16"); one whose
// exports were renamed, and any 64-bit one, has the plain name.
std::vector<std::string> ExportedNames(const EntryPointInfo& entry) {
  const std::string plain(entry.name);
  const std::string stdcall = plain + "@" + std::to_string(4 * entry.argCount);
  return {"_" + stdcall, stdcall, plain};
}

std::string ExecutableDirectory() {
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0) return {};
    if (n < exe.size()) {
      exe.resize(n);
      break;
    }
    exe.resize(exe.size() * 2);
  }
  const std::string path = base::WideToUtf8(exe);
  return path.substr(0, path.find_last_of("\\/") + 1);
}

}  // namespace card::loader

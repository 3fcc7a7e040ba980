#include <windows.h>

#include <cwctype>
#include <string>

#include "SingleInstance.h"
#include "WideText.h"

namespace {

// %LOCALAPPDATA%\kzb7310: the user's own folder, which no other user can write to.
bool RuntimeFolder(std::wstring& folder, std::string& why) {
  wchar_t base[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    why = "LOCALAPPDATA: no folder of this user's for the card lock";
    return false;
  }
  folder = std::wstring(base) + L"\\kzb7310";
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    why = base::WideToUtf8(folder) + ": " + base::SystemMessage(GetLastError());
    return false;
  }
  return true;
}

// The library's full path in one case, as Windows compares names.
std::string FullPath(const std::string& path) {
  wchar_t full[MAX_PATH];
  const std::wstring wide = base::Utf8ToWide(path);
  std::wstring name = GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr) ? full : wide;
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
  return base::WideToUtf8(name);
}

}  // namespace

// The lock file is held open for writing and shared for reading only: a second program can
// read who holds it but cannot take it, and Windows closes it when the holder ends.
SingleInstance::SingleInstance(const std::string& cardLibrary, const std::string& dataDirectory) {
  std::wstring folder;
  if (!RuntimeFolder(folder, holder_)) return;
  const std::wstring path = folder + L"\\" + base::Utf8ToWide(CardLockName(FullPath(cardLibrary)));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION) {
      holder_ = base::WideToUtf8(path) + ": " + base::SystemMessage(error);
      return;
    }
    state_ = State::AlreadyRuns;
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (reader != INVALID_HANDLE_VALUE) {
      char text[4096];
      DWORD n = 0;
      if (ReadFile(reader, text, sizeof text, &n, nullptr)) holder_.assign(text, n);
      CloseHandle(reader);
    }
    return;
  }
  state_ = State::Alone;
  handle_ = reinterpret_cast<intptr_t>(file);
  const std::string self = std::to_string(GetCurrentProcessId()) + "\n" + dataDirectory + "\n";
  DWORD written = 0;
  SetEndOfFile(file);
  WriteFile(file, self.data(), static_cast<DWORD>(self.size()), &written, nullptr);
  FlushFileBuffers(file);
}

SingleInstance::~SingleInstance() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

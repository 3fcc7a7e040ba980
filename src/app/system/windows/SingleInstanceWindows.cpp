#include <windows.h>

#include <string>

#include "Checksum.h"
#include "SingleInstance.h"
#include "WideText.h"

namespace {

// Where the holder's description is kept for any user's program to read: %ProgramData%\kzb7310
// (shared by the machine's users), or $KZB_LOCK_DIR where set (tests keep their own).
std::wstring DescriptionFolder() {
  wchar_t base[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"KZB_LOCK_DIR", base, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return base;
  n = GetEnvironmentVariableW(L"ProgramData", base, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  const std::wstring folder = std::wstring(base) + L"\\kzb7310";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::string UserName() {
  wchar_t name[256];
  DWORD n = 256;
  return GetUserNameW(name, &n) ? base::WideToUtf8(name) : std::string();
}

}  // namespace

// The lock is a mutex in the machine's Global\ namespace: whichever user's program made it
// holds the card while it lives, and Windows ends it with the last handle, when the holder
// ends however it ends. A program of another user may be denied even a look at it: that,
// too, says it is held. Beside it, a file says who holds it, as far as it can be written.
SingleInstance::SingleInstance(const std::string& dataDirectory) {
  const std::string key = kCardLockKey;
  wchar_t chosen[MAX_PATH];
  const DWORD own = GetEnvironmentVariableW(L"KZB_LOCK_DIR", chosen, MAX_PATH);
  const std::string scope =
      own > 0 && own < MAX_PATH ? "-" + base::Checksum(base::WideToUtf8(chosen)) : "";
  const std::wstring name = base::Utf8ToWide("Global\\" + key + scope);
  const std::wstring folder = DescriptionFolder();
  std::wstring description;  // appended piece by piece: GCC 12 warns falsely on a + chain
  if (!folder.empty())
    description.append(folder).append(1, L'\\').append(base::Utf8ToWide(key + ".lock"));
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  const DWORD error = GetLastError();
  if (!mutex && error != ERROR_ACCESS_DENIED) {
    holder_ = base::WideToUtf8(name) + ": " + base::SystemMessage(error);
    return;
  }
  if (!mutex || error == ERROR_ALREADY_EXISTS) {
    if (mutex) CloseHandle(mutex);
    state_ = State::AlreadyRuns;
    HANDLE reader = CreateFileW(description.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (reader != INVALID_HANDLE_VALUE) {
      char text[4096];
      DWORD n = 0;
      if (ReadFile(reader, text, sizeof text, &n, nullptr)) holder_.assign(text, n);
      CloseHandle(reader);
    }
    return;
  }
  state_ = State::Alone;
  handle_ = reinterpret_cast<intptr_t>(mutex);
  const std::string self =
      std::to_string(GetCurrentProcessId()) + "\n" + dataDirectory + "\n" + UserName() + "\n";
  HANDLE file = CreateFileW(description.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {  // else the lock holds all the same, undescribed
    DWORD written = 0;
    WriteFile(file, self.data(), static_cast<DWORD>(self.size()), &written, nullptr);
    CloseHandle(file);
  }
}

SingleInstance::~SingleInstance() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

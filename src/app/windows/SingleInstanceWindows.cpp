#include <windows.h>

#include <string>

#include "SingleInstance.h"
#include "WideText.h"

// The lock file is held open for writing and shared for reading only: a second program can
// read who holds it but cannot take it, and Windows closes it when the holder ends.
SingleInstance::SingleInstance(const std::string& dataDirectory) {
  const std::wstring path = numtext::Utf8ToWide(dataDirectory + "\\.kzb7310.lock");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION) {
      holder_ = dataDirectory + "\\.kzb7310.lock: " + numtext::SystemMessage(error);
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

// A recording's files on Windows: the Windows file API, the system's message as the reason.
#include <windows.h>

#include "RecordDisk.h"
#include "WideText.h"

namespace recording::disk {

namespace {

base::Failure Failed(const std::string& path, DWORD error) {
  return base::Failure{base::Failure::Kind::FileNotWritten, path, base::SystemMessage(error),
                       base::CauseOfSystemError(error)};
}

HANDLE Handle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

// Readers may open a segment while it grows (the viewer of a running recording).
base::Result<intptr_t> CreateNew(const std::string& path) {
  HANDLE file = CreateFileW(base::Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(path, GetLastError());
  return reinterpret_cast<intptr_t>(file);
}

// A file being written shares only reading: opening it for writing is refused.
bool Held(const std::string& path) {
  HANDLE file = CreateFileW(base::Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

base::Result<intptr_t> OpenExisting(const std::string& path, bool writing) {
  HANDLE file = CreateFileW(base::Utf8ToWide(path).c_str(),
                            writing ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                            writing ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(path, GetLastError());
  return reinterpret_cast<intptr_t>(file);
}

base::Result<> WriteAll(intptr_t handle, const void* bytes, size_t length) {
  const char* p = static_cast<const char*>(bytes);
  while (length > 0) {
    DWORD written = 0;
    const DWORD chunk = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
    if (!WriteFile(Handle(handle), p, chunk, &written, nullptr) || written == 0) {
      const DWORD error = GetLastError();
      return Failed({}, error ? error : ERROR_DISK_FULL);
    }
    p += written;
    length -= written;
  }
  return {};
}

base::Result<size_t> ReadAt(intptr_t handle, uint64_t offset, void* into, size_t length) {
  size_t got = 0;
  while (got < length) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + got);
    at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
    DWORD n = 0;
    const DWORD chunk = length - got > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length - got);
    if (!ReadFile(Handle(handle), static_cast<char*>(into) + got, chunk, &n, &at)) {
      const DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      return Failed({}, error);
    }
    if (n == 0) break;
    got += n;
  }
  return got;
}

base::Result<uint64_t> SizeOf(intptr_t handle) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(Handle(handle), &size)) return Failed({}, GetLastError());
  return static_cast<uint64_t>(size.QuadPart);
}

base::Result<> SyncData(intptr_t handle) {
  if (!FlushFileBuffers(Handle(handle))) return Failed({}, GetLastError());
  return {};
}

base::Result<> TruncateTo(intptr_t handle, uint64_t size) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(Handle(handle), at, nullptr, FILE_BEGIN) || !SetEndOfFile(Handle(handle))) {
    return Failed({}, GetLastError());
  }
  return {};
}

void Close(intptr_t handle) {
  CloseHandle(Handle(handle));
}

}  // namespace recording::disk

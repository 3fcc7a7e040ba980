// Whole-file writes on Windows: the Windows file API, the system's message as the reason.
#include <windows.h>

#include "FilePlatform.h"
#include "WholeFile.h"
#include "WideText.h"

namespace base {

const char kPathSeparator = '\\';
const char kPathSeparators[] = "\\/";

namespace {

Failure SystemFailure(DWORD error) {
  return Failure{
      Failure::Kind::FileNotWritten, {}, SystemMessage(error), CauseOfSystemError(error)};
}

Failure NotWritten(const std::string& path, DWORD error) {
  return Failure{Failure::Kind::FileNotWritten, path, SystemMessage(error),
                 CauseOfSystemError(error)};
}

}  // namespace

Result<> CheckWriteTarget(const std::string& finalPath) {
  const DWORD folder = GetFileAttributesW(Utf8ToWide(DirectoryOfPath(finalPath)).c_str());
  if (folder == INVALID_FILE_ATTRIBUTES) return NotWritten(finalPath, GetLastError());
  if (!(folder & FILE_ATTRIBUTE_DIRECTORY)) return NotWritten(finalPath, ERROR_DIRECTORY);
  const DWORD existing = GetFileAttributesW(Utf8ToWide(finalPath).c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (existing & FILE_ATTRIBUTE_DIRECTORY) return NotWritten(finalPath, ERROR_DIRECTORY);
    if (existing & FILE_ATTRIBUTE_READONLY) return NotWritten(finalPath, ERROR_ACCESS_DENIED);
  }
  return {};
}

namespace platform {

// CREATE_NEW opens nothing already there; no sharing keeps other programs off the file
// until it has its name.
Result<intptr_t> CreateExclusive(const std::string& path, bool& nameTaken) {
  HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    nameTaken = error == ERROR_FILE_EXISTS;
    return SystemFailure(error);
  }
  return reinterpret_cast<intptr_t>(file);
}

Result<> WriteAll(intptr_t handle, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    DWORD written = 0;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    if (!WriteFile(reinterpret_cast<HANDLE>(handle), p, chunk, &written, nullptr) || written == 0) {
      const DWORD error = GetLastError();
      return SystemFailure(error ? error : ERROR_WRITE_FAULT);
    }
    p += written;
    left -= written;
  }
  return {};
}

Result<> FlushAndClose(intptr_t handle) {
  DWORD error = 0;
  if (!FlushFileBuffers(reinterpret_cast<HANDLE>(handle))) error = GetLastError();
  if (!CloseHandle(reinterpret_cast<HANDLE>(handle)) && error == 0) error = GetLastError();
  if (error != 0) return SystemFailure(error);
  return {};
}

void Close(intptr_t handle) {
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}

Result<> MoveOver(const std::string& from, const std::string& to) {
  if (!MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return SystemFailure(GetLastError());
  }
  return {};
}

void Remove(const std::string& path) {
  DeleteFileW(Utf8ToWide(path).c_str());
}

}  // namespace platform
}  // namespace base

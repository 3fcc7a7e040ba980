// Data files on Windows: c:\temp, GBK through code page 936, and the atomic write with the
// Windows file API.
#include <windows.h>

#include <random>

#include "DataFile.h"
#include "DataFilePlatform.h"
#include "WideText.h"

namespace acquisition {

using base::Failure;
using base::SystemMessage;
using base::Utf8ToWide;

const char kPathSeparator = '\\';
const char kPathSeparators[] = "\\/";

std::string DefaultDataDirectory() {
  return "c:\\temp";
}

std::string DirectoryCaption(const std::string& directory) {
  return "文件保存到:" + (directory == "c:\\temp" ? std::string("c:\\Temp") : directory);
}

bool ToGbk(std::string_view utf8, std::string& out) {
  const std::wstring wide = Utf8ToWide(utf8);
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.data(),
                                    static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
  if (n <= 0 && !wide.empty()) return false;
  std::string converted(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                      converted.data(), n, nullptr, &lossy);
  if (lossy) return false;
  out = std::move(converted);
  return true;
}

namespace {

Failure NotWritten(const std::string& path, DWORD error) {
  return Failure{Failure::Kind::FileNotWritten, path, SystemMessage(error)};
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// CREATE_NEW makes the name ours alone; nothing already there is opened.
HANDLE CreateTemporary(const std::string& finalPath, std::string& temporaryPath) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static thread_local std::minstd_rand random{std::random_device{}()};
  const std::string name = FileNameOfPath(finalPath);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix(6, ' ');
    for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
    temporaryPath =
        DirectoryOf(finalPath) + "\\." + name + "." + suffix + std::string(kTemporarySuffix);
    HANDLE file = CreateFileW(Utf8ToWide(temporaryPath).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

base::Result<> CheckWriteTarget(const std::string& finalPath) {
  const DWORD folder = GetFileAttributesW(Utf8ToWide(DirectoryOf(finalPath)).c_str());
  if (folder == INVALID_FILE_ATTRIBUTES) return NotWritten(finalPath, GetLastError());
  if (!(folder & FILE_ATTRIBUTE_DIRECTORY)) return NotWritten(finalPath, ERROR_DIRECTORY);
  const DWORD existing = GetFileAttributesW(Utf8ToWide(finalPath).c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (existing & FILE_ATTRIBUTE_DIRECTORY) return NotWritten(finalPath, ERROR_DIRECTORY);
    if (existing & FILE_ATTRIBUTE_READONLY) return NotWritten(finalPath, ERROR_ACCESS_DENIED);
  }
  return {};
}

base::Result<PendingFile> WriteTemporaryFile(const std::string& finalPath, std::string_view bytes) {
  if (auto target = CheckWriteTarget(finalPath); !target) return target.failure();
  PendingFile file;
  file.finalPath = finalPath;
  HANDLE handle = CreateTemporary(finalPath, file.temporaryPath);
  if (handle == INVALID_HANDLE_VALUE) return NotWritten(finalPath, GetLastError());
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    DWORD written = 0;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    if (!WriteFile(handle, p, chunk, &written, nullptr) || written == 0) {
      const DWORD error = GetLastError();
      CloseHandle(handle);
      DeleteFileW(Utf8ToWide(file.temporaryPath).c_str());
      return NotWritten(finalPath, error ? error : ERROR_WRITE_FAULT);
    }
    p += written;
    left -= written;
  }
  file.handle = reinterpret_cast<intptr_t>(handle);
  return file;
}

base::Result<> CommitFile(PendingFile& file) {
  HANDLE handle = reinterpret_cast<HANDLE>(file.handle);
  file.handle = -1;
  DWORD error = 0;
  if (!FlushFileBuffers(handle)) error = GetLastError();
  if (!CloseHandle(handle) && error == 0) error = GetLastError();
  const std::wstring temporary = Utf8ToWide(file.temporaryPath);
  if (error == 0 && !MoveFileExW(temporary.c_str(), Utf8ToWide(file.finalPath).c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
  }
  if (error != 0) {
    DeleteFileW(temporary.c_str());
    return NotWritten(file.finalPath, error);
  }
  return {};
}

void DiscardFile(PendingFile& file) {
  if (file.handle == -1) return;
  CloseHandle(reinterpret_cast<HANDLE>(file.handle));
  file.handle = -1;
  DeleteFileW(Utf8ToWide(file.temporaryPath).c_str());
}

// A file another program is still writing is open without sharing: it cannot be moved.
std::vector<std::string> RecoverLeftoverFiles(const std::string& directory) {
  std::vector<std::string> kept;
  WIN32_FIND_DATAW found;
  const std::wstring pattern = Utf8ToWide(directory + "\\" + std::string(kTemporaryPrefix) + "*");
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return kept;
  do {
    const std::string name = base::WideToUtf8(found.cFileName);
    if (!IsTemporaryFileName(name) || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    const std::wstring path = Utf8ToWide(directory + "\\" + name);
    const uint64_t size = (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    if (size == 0) {
      DeleteFileW(path.c_str());
    } else {
      const std::string recovered = directory + "\\" + RecoveredName(name);
      if (MoveFileExW(path.c_str(), Utf8ToWide(recovered).c_str(), 0)) {
        kept.push_back(recovered + " (" + std::to_string(size) +
                       " bytes, unfinished: check it is whole)");
      }
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return kept;
}

}  // namespace acquisition

#include <windows.h>

#include "LibraryImage.h"
#include "LibraryLoader.h"
#include "WideText.h"

namespace card::loader {

namespace {

using base::Failure;

Failure Refused(const std::string& path, std::string reason, Failure::Cause cause) {
  return Failure{Failure::Kind::CardLibraryMissing, path, std::move(reason), cause};
}

Failure SystemRefused(const std::string& path, DWORD error) {
  return Refused(path, base::SystemMessage(error), base::CauseOfSystemError(error));
}

// The whole file, read with plain reads. It is opened for reading with no one else let
// write meanwhile: a file still being written (an update under way) is refused by the
// system, and one cut short since its size was taken is refused here.
base::Result<std::string> ReadWhole(const std::string& path) {
  HANDLE file =
      CreateFileW(base::Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return SystemRefused(path, GetLastError());
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    return SystemRefused(path, error);
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(size.QuadPart));
  char buffer[1 << 16];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      return SystemRefused(path, error);
    }
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  CloseHandle(file);
  const auto expected = static_cast<unsigned long long>(size.QuadPart);
  if (bytes.size() != expected) {
    return Refused(path,
                   "the file changed while it was read (" + std::to_string(expected) + " bytes, " +
                       std::to_string(bytes.size()) + " read)",
                   Failure::Cause::LibraryDamaged);
  }
  return bytes;
}

// What this program is built as, from its own headers as Windows mapped them.
const ImageKind& OwnKind() {
  static const ImageKind kind = [] {
    const auto* image = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    const size_t length = static_cast<size_t>(dos->e_lfanew) + sizeof(DWORD) +
                          sizeof(IMAGE_FILE_HEADER) + nt->FileHeader.SizeOfOptionalHeader;
    const ImageCheck own = ImageKindOfHeaders(std::string_view(image, length));
    return own.shape == ImageCheck::Shape::Whole ? own.kind : ImageKind{};
  }();
  return kind;
}

}  // namespace

// The file is checked before Windows maps it: its headers, section table and sections
// must all lie within the file. A library of this program's kind goes to the system only
// whole; anything else goes there to be refused in the system's own words.
base::Result<void*> Open(const std::string& path) {
  const base::Result<std::string> bytes = ReadWhole(path);
  if (!bytes) return bytes.failure();
  const ImageCheck image = CheckLibraryImage(bytes.value());
  if (image.shape == ImageCheck::Shape::Truncated) {
    return Refused(path, "incomplete: " + image.fault, Failure::Cause::LibraryDamaged);
  }
  const bool ours = image.shape == ImageCheck::Shape::Whole && image.kind == OwnKind();
  HMODULE module = LoadLibraryW(base::Utf8ToWide(path).c_str());
  if (module) return reinterpret_cast<void*>(module);
  const DWORD error = GetLastError();
  // A whole library of this kind that still does not load lacks something of its own (a
  // library it needs): the system's words say which.
  std::string words = base::SystemMessage(error);
  if (image.shape == ImageCheck::Shape::Whole && !ours) {
    words += "; a library for " + image.kind.Text() + ", this program is " + OwnKind().Text();
  }
  return Refused(path, words,
                 ours ? base::CauseOfSystemError(error) : Failure::Cause::LibraryDamaged);
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

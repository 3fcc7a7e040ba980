// Temporary files left behind on Windows: a file another program is still writing is open
// without sharing, so it cannot be moved and stays as it is.
#include <windows.h>

#include "WholeFile.h"
#include "WideText.h"

namespace base {

std::vector<std::string> RecoverLeftoverFiles(const std::string& directory,
                                              std::string_view finalPrefix) {
  std::vector<std::string> kept;
  WIN32_FIND_DATAW found;
  const std::wstring pattern = Utf8ToWide(directory + "\\." + std::string(finalPrefix) + "*");
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return kept;
  do {
    const std::string name = WideToUtf8(found.cFileName);
    if (!IsTemporaryName(name, finalPrefix) || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      continue;
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

}  // namespace base

// GBK through code page 936.
#include <windows.h>

#include "Gbk.h"
#include "WideText.h"

namespace base {

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

}  // namespace base

// GBK through iconv.
#include <iconv.h>

#include "Gbk.h"

namespace base {

bool ToGbk(std::string_view utf8, std::string& out) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string converted(utf8.size() * 2 + 4, '\0');  // GBK never needs more bytes than UTF-8
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* to = converted.data();
  size_t toLeft = converted.size();
  size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1) || inLeft != 0) return false;
  converted.resize(converted.size() - toLeft);
  out = std::move(converted);
  return true;
}

}  // namespace base

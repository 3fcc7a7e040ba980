// UTF-8 to GBK (code page 936), the encoding that readers of the card maker's files expect.
#pragma once

#include <string>
#include <string_view>

namespace base {

// Returns false, leaving `out` untouched, when the converter refuses.
bool ToGbk(std::string_view utf8, std::string& out);

}  // namespace base

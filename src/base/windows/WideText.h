// UTF-8 and the UTF-16 of the Windows API: the program's strings are UTF-8 everywhere else.
#pragma once

#include <string>
#include <string_view>

#include "Failure.h"

namespace base {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
// The system's message for an error number from GetLastError(), in UTF-8.
std::string SystemMessage(unsigned long error);
// The kind of a Windows error code (GetLastError), as errno's kinds on Linux.
Failure::Cause CauseOfSystemError(unsigned long error);

}  // namespace base

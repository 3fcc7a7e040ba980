// The host's name on Windows: the computer's DNS host name, as the network knows it.
#include <windows.h>

#include <iterator>
#include <string_view>

#include "HostName.h"
#include "WideText.h"

namespace base {

std::string HostName() {
  wchar_t name[256] = {};
  DWORD size = static_cast<DWORD>(std::size(name));
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size) || size == 0) return "unknown";
  return WideToUtf8(std::wstring_view(name, size));
}

}  // namespace base

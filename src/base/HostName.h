// The machine's name, as a station's records name it.
#pragma once

#include <string>

namespace base {

// The host's name in UTF-8, or "unknown" when the system gives none.
std::string HostName();

}  // namespace base

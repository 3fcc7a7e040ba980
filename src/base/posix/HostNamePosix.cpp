// The host's name on Linux: the kernel's node name.
#include <unistd.h>

#include <climits>

#include "HostName.h"

namespace base {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

}  // namespace base

#include "PassFile.h"

namespace line {

// %APPDATA%\postgresql\pgpass.conf lies in the user's own profile, which only they and the
// administrators may read; libpq does not check it there either.
std::optional<std::string> PassFileProblem() {
  return std::nullopt;
}

}  // namespace line

// The data folder on Linux: the usual place for temporary files.
#include <cstdlib>

#include "DataDirectory.h"

namespace acquisition {

// TMPDIR when it is set, so that every test and script can give the program a folder of
// its own.
std::string DefaultDataDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  return tmpdir && *tmpdir ? tmpdir : "/tmp";
}

std::string DirectoryCaption(const std::string& directory) {
  return std::string(kDirectoryCaptionStart) + directory;
}

}  // namespace acquisition

#include <sys/stat.h>

#include <cstdlib>

#include "PassFile.h"

namespace line {

std::optional<std::string> PassFileProblem() {
  std::string path;
  if (const char* file = std::getenv("PGPASSFILE"); file && *file) {
    path = file;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    path = std::string(home) + "/.pgpass";
  } else {
    return std::nullopt;
  }
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  if ((status.st_mode & (S_IRWXG | S_IRWXO)) == 0) return std::nullopt;
  return path + " may be read by others, and it holds the line's password: chmod 600 " + path;
}

}  // namespace line

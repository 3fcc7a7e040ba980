#include "Console.h"

// A POSIX program always has the standard streams it was started with.
void UseParentConsole() {}

std::vector<std::string> Utf8Arguments(int argc, char* argv[]) {
  return {argv + 1, argv + argc};
}

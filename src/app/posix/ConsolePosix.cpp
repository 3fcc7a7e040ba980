#include "Console.h"

// A POSIX program always has the standard streams it was started with.
void UseParentConsole() {}

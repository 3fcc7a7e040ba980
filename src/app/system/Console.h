// What a command-line entry meets: its arguments and the console it prints to. A Windows
// program built for the window has no console of its own: started from one, it writes its
// table and messages there.
#pragma once

#include <string>
#include <vector>

void UseParentConsole();

// The arguments after the program's name, in UTF-8 (on Windows from the wide command line,
// so a Chinese file name arrives whole whatever the code page).
std::vector<std::string> Utf8Arguments(int argc, char* argv[]);

// The program's few command-line entries: --help, --version and the headless
// --self-test. Anything else (Qt's own options among them) goes to the window.
#pragma once

#include <optional>

// The exit status when the command line asked for one of these entries, else nothing and
// the window opens.
std::optional<int> RunCommandLine(int argc, char* argv[]);

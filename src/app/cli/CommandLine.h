// The program's few command-line entries: --help, --version, the headless --self-test,
// --results and --record, and --station. Anything else (Qt's own options among them) goes to the
// window.
#pragma once

#include <optional>

#include <string>

#include "LineSettings.h"

// Which window the command line asks for: the bench window, with --station [PROFILE] the
// production station, with --view FOLDER a recording's viewer, or with --line-monitor PROFILE
// the line monitor on the line PROFILE's [line] names.
struct WindowChoice {
  bool station = false;
  std::string profile;                            // empty: the simulated card's profile
  std::string view;                               // --view FOLDER: the recording's viewer alone
  std::string monitorProfile;                     // --line-monitor PROFILE
  std::optional<selftest::LineSettings> monitor;  // its [line], once read
};

// The exit status when the command line asked for one of these entries, else nothing and
// the window `choice` names opens.
std::optional<int> RunCommandLine(int argc, char* argv[], WindowChoice& choice);

// Moves the runs held beside the results database into it, as every start of the program
// does (the station on a thread of its own); says on standard error what still waits. Needs
// a Qt application for the database's driver.
void StoreHeldRuns();

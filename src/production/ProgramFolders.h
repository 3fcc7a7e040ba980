// Where the program keeps its own files, known in one place: the results database, the runs
// held beside it until it takes them, and the note of the recordings the program has in
// hand. All of them sit in the program's own folder, never the operator's data folder (the
// data files' folder is acquisition's DefaultDataDirectory, the card lock's the lock's own).
#pragma once

#include <string>

namespace production {

// $KZB_RESULTS_DB when it is set (scripts and tests keep their own), else results.sqlite in
// the kzb7310 folder of the user's data folder (~/.local/share, %LOCALAPPDATA%).
std::string DefaultResultsPath();

// Where the station keeps the runs the database at `databasePath` could not take, until it
// can: a database of the same form beside it.
std::string HeldRunsPath(const std::string& databasePath);

// Where the program notes the recordings it has in hand: beside the results database.
std::string RecordingRegistry();

// Whether one of these files is there (a folder that cannot be read counts as not).
bool ProgramFileExists(const std::string& path);

}  // namespace production

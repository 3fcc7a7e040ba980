// Where the program notes the recordings it has in hand: beside the results database, the
// program's own folder, never the operator's data folder.
#pragma once

#include <string>

std::string RecordingRegistry();

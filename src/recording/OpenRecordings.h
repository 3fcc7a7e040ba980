// Which recordings a program has in hand, noted in a folder of the program's own (beside
// the results database), so that the next start finds one a crash or a power cut left
// open, names it and repairs it. A recording another program is still writing is left
// alone.
#pragma once

#include <string>
#include <vector>

#include "Failure.h"

namespace recording {

base::Result<> NoteOpen(const std::string& registry, const std::string& folder);
void NoteClosed(const std::string& registry, const std::string& folder);

// The recordings noted open that no program writes any more.
std::vector<std::string> InterruptedRecordings(const std::string& registry);

}  // namespace recording

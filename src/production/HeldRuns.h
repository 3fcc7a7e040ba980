// The runs a station holds beside its results database (HeldRunsPath) while the database
// cannot take them: moved into it, oldest first, as soon as it can.
#pragma once

#include <optional>
#include <string>

#include "Failure.h"

namespace production {

// Moves the held runs into the database at `database`, oldest first; gives how many are
// left and, when any, why in `why`. The held file goes once it is empty.
int StoreHeld(const std::string& database, std::optional<base::Failure>& why);

// How many runs are held for the database at `database`.
int CountHeld(const std::string& database);

}  // namespace production

// The user's PostgreSQL password file, which libpq reads the line's password from: one
// that others may read gives the line's password away, and is refused with the fix.
#pragma once

#include <optional>
#include <string>

namespace line {

// What is wrong with the password file ($PGPASSFILE, else ~/.pgpass), or nothing: none is
// there, or only its owner may read it.
std::optional<std::string> PassFileProblem();

}  // namespace line

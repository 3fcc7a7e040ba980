// A run's id, given when the run ends and kept by every record of it (database, reports,
// a held copy): a random UUID, so ids made on different stations never meet.
#pragma once

#include <string>

namespace selftest {

// "3f2b…-…" in the 8-4-4-4-12 form, version 4.
std::string NewRunId();

}  // namespace selftest

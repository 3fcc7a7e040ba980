// The machine's local time of a UTC moment, from the one platform file the build picks.
#pragma once

#include <cstdint>
#include <ctime>

namespace recording {

// The broken-down local time of `seconds` since 1970, and its offset east of UTC.
std::tm LocalTimeOf(int64_t seconds, long& offsetSeconds);

}  // namespace recording

// Local time on Linux: the thread-safe localtime_r, which also gives the offset.
#include <time.h>

#include "LocalTime.h"

namespace recording {

std::tm LocalTimeOf(int64_t seconds, long& offsetSeconds) {
  const time_t t = static_cast<time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  offsetSeconds = local.tm_gmtoff;
  return local;
}

}  // namespace recording

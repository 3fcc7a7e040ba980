// Local time on Windows: the C runtime's localtime_s; the offset is how far its fields are
// from the moment read as UTC.
#include <time.h>

#include "LocalTime.h"

namespace recording {

std::tm LocalTimeOf(int64_t seconds, long& offsetSeconds) {
  const __time64_t t = seconds;
  std::tm local{};
  _localtime64_s(&local, &t);
  std::tm fields = local;
  offsetSeconds = static_cast<long>(_mkgmtime64(&fields) - t);
  return local;
}

}  // namespace recording

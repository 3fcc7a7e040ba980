#include "RunClock.h"

#include <cstdio>

#include "RunId.h"

namespace production {

std::string UtcNowIso8601() {
  // The calendar from the clock itself: no shared static result between the station's threads.
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date(day);
  const hh_mm_ss time(now - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                int(time.minutes().count()), int(time.seconds().count()));
  return text;
}

RunClock::RunClock() : started_(UtcNowIso8601()), startedAt_(std::chrono::steady_clock::now()) {}

selftest::RunRecord RunClock::Record(const selftest::Outcome& outcome,
                                     const selftest::Profile& profile,
                                     const StationFacts& facts) const {
  const selftest::RunInfo info{
      .version = KZB_VERSION,
      .startedIso8601 = started_,
      .endedIso8601 = UtcNowIso8601(),
      .durationSeconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt_).count(),
      .serial = facts.serial,
      .station = selftest::StationName(profile),
      .operatorName = facts.operatorName,
      .cardLibrary = facts.cardLibrary,
  };
  return selftest::RecordOf(selftest::NewRunId(), outcome, profile, info);
}

}  // namespace production

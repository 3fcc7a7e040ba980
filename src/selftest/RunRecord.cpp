#include "RunRecord.h"

namespace selftest {

const Check* RunRecord::FirstFailure() const {
  for (const Check& c : checks) {
    if (!c.passed) return &c;
  }
  return nullptr;
}

RunRecord RecordOf(std::string id, const Outcome& outcome, const Profile& profile,
                   const RunInfo& info) {
  return RunRecord{
      .id = std::move(id),
      .info = info,
      .profileName = profile.name,
      .profileChecksum = profile.checksum,
      .card = outcome.identityLine,
      .verdict = outcome.verdict(),
      .whyNot = outcome.whyNot,
      .checks = outcome.checks,
  };
}

}  // namespace selftest

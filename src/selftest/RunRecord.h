// A finished run as every record of it holds it: who ran it, where, on what and when, its
// verdict and its checks. The results database, the reports and the station's lists all
// read this one form.
#pragma once

#include <string>
#include <vector>

#include "ProductionCheck.h"
#include "Profile.h"

namespace selftest {

// Who ran the test, where, on what and when, as a line's records need it.
struct RunInfo {
  std::string version;
  std::string startedIso8601;  // "2026-12-08T17:29:00Z"
  std::string endedIso8601;
  double durationSeconds = 0;
  std::string serial;   // of the card under test; empty when none was given
  std::string station;  // the profile's station, or the host's name
  std::string operatorName;
  std::string cardLibrary;  // the path of the library that answered
};

struct RunRecord {
  std::string id;  // NewRunId's, given when the run ends; the same in every record of it
  RunInfo info;
  std::string profileName, profileChecksum;
  std::string card;  // the identity line
  Verdict verdict = Verdict::NotRun;
  std::string whyNot;  // of a run that could not run
  std::vector<Check> checks;
  // The first failing check, or null.
  const Check* FirstFailure() const;
};
RunRecord RecordOf(std::string id, const Outcome& outcome, const Profile& profile,
                   const RunInfo& info);

}  // namespace selftest

// The production self-test: one run checks a card on its fixture against a profile and
// says PASS or FAIL, check by check, with what was measured and the limits it was held to.
// The card is stopped and its outputs set to 0 at the end, whatever happened.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CheckIdentity.h"
#include "Profile.h"

class DllDef;

namespace selftest {

// One figure a check measured, with its unit and the limits it was held to.
struct Measurement {
  FigureId id;  // "channel 64 SNR"
  // None where the figure could not be measured (a dead channel has no SNR): it fails.
  std::optional<double> value;
  std::string unit;  // "dB", "Hz", "bits", "codes"
  std::optional<double> low, high;
  bool passed = false;
};

// The detail of a check the operator or the system stopped, as the records keep it.
inline constexpr const char kInterruptedDetail[] = "interrupted";

struct Check {
  CheckKind kind = CheckKind::Identity;
  bool passed = false;
  bool interrupted = false;  // ended early by the operator or the system: says nothing
  std::vector<Measurement> measurements;
  std::string measured;  // what the card showed
  std::string limits;    // what it had to show
  std::string detail;    // for a failure: what is wrong, by channel or bit
  // A check this program does not know (a newer program's), read from the line by the name
  // its record gives; `kind` then says nothing.
  std::string unknownName;
};
// The check's name as the records write it ("analog"), an unknown check's own.
std::string CheckName(const Check& check);

struct Outcome {
  std::vector<Check> checks;
  std::string identityLine;
  bool ranAtAll = true;  // false: the card library could not be used; see `whyNot`
  std::string whyNot;
  bool aborted = false;  // the operator or the system ended the run early
  bool passed() const;
  Verdict verdict() const;
  // The first check that failed, or null.
  const Check* firstFailure() const;
};

// How the test waits, so that tests can run it on the simulated card's own clock.
struct Clock {
  std::function<double()> nowSeconds;
  std::function<void(int ms)> sleepMs;
};
Clock SystemClock();

// The checks a run on `profile` goes through, in order (dynamic only where the profile has
// dynamic limits). A failed acquisition skips analog and dynamic, an interruption digital.
std::vector<CheckKind> PlannedChecks(const Profile& profile);

// Runs every planned check in order. `progress` hears each check as it starts. Setting
// `interrupted` ends the run early (still stopping the card and clearing its outputs).
Outcome Run(DllDef& dll, const Profile& profile, const Clock& clock,
            const std::function<void(CheckKind)>& progress, const std::atomic<bool>& interrupted);

}  // namespace selftest

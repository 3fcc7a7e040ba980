#include "RunFacts.h"

#include <cmath>
#include <stdexcept>

#include "NumberForms.h"

namespace selftest {
namespace {

// A text fact kept in `field` of the run.
template <auto field>
FactValue Get(const RunRecord& run) {
  return run.*field;
}
template <auto field>
bool Set(RunRecord& run, const FactValue& value) {
  run.*field = std::get<std::string>(value);
  return true;
}
// A text fact of the run's info.
template <auto field>
FactValue GetInfo(const RunRecord& run) {
  return run.info.*field;
}
template <auto field>
bool SetInfo(RunRecord& run, const FactValue& value) {
  run.info.*field = std::get<std::string>(value);
  return true;
}

FactValue GetDuration(const RunRecord& run) {
  return run.info.durationSeconds;
}
bool SetDuration(RunRecord& run, const FactValue& value) {
  run.info.durationSeconds = std::get<double>(value);
  return true;
}

FactValue GetVerdict(const RunRecord& run) {
  return std::string(VerdictName(run.verdict));
}
bool SetVerdict(RunRecord& run, const FactValue& value) {
  const auto verdict = VerdictNamed(std::get<std::string>(value));
  if (verdict) run.verdict = *verdict;
  return verdict.has_value();
}

FactValue GetFirstFailure(const RunRecord& run) {
  const Check* failed = run.FirstFailure();
  return failed ? CheckName(*failed) : std::string();
}

constexpr RunFact kFacts[] = {
    {"run_id", "id", Get<&RunRecord::id>, Set<&RunRecord::id>, true, false},
    {"serial", "serial", GetInfo<&RunInfo::serial>, SetInfo<&RunInfo::serial>, true, false},
    {"station", "station", GetInfo<&RunInfo::station>, SetInfo<&RunInfo::station>, true, false},
    {"operator", "operator", GetInfo<&RunInfo::operatorName>, SetInfo<&RunInfo::operatorName>, true,
     false},
    {"version", "version", GetInfo<&RunInfo::version>, SetInfo<&RunInfo::version>, true, false},
    {"card_library", "card_library", GetInfo<&RunInfo::cardLibrary>, SetInfo<&RunInfo::cardLibrary>,
     true, false},
    {"card", "card", Get<&RunRecord::card>, Set<&RunRecord::card>, true, false},
    {"profile", "profile", Get<&RunRecord::profileName>, Set<&RunRecord::profileName>, true, false},
    {"profile_checksum", "profile_checksum", Get<&RunRecord::profileChecksum>,
     Set<&RunRecord::profileChecksum>, true, false},
    {"started", "started", GetInfo<&RunInfo::startedIso8601>, SetInfo<&RunInfo::startedIso8601>,
     true, false},
    {"ended", "ended", GetInfo<&RunInfo::endedIso8601>, SetInfo<&RunInfo::endedIso8601>, true,
     false},
    {"duration_s", "duration_s", GetDuration, SetDuration, false, true},
    {"verdict", "verdict", GetVerdict, SetVerdict, true, false},
    {"why_not", "why_not", Get<&RunRecord::whyNot>, Set<&RunRecord::whyNot>, false, false},
    {"first_failure", nullptr, GetFirstFailure, nullptr, false, false},
};

}  // namespace

std::span<const RunFact> RunFacts() {
  return kFacts;
}

const RunFact& Fact(std::string_view name) {
  for (const RunFact& fact : kFacts) {
    if (name == fact.name) return fact;
  }
  throw std::logic_error("no run fact " + std::string(name));
}

std::string ReportNumber(double value) {
  if (!std::isfinite(value)) return "null";
  return numtext::General(value, 6);
}

std::string FactText(const FactValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return ReportNumber(std::get<double>(value));
}

}  // namespace selftest

// A run as a JSON document, for the line's records.
#include <cstdio>

#include "JsonText.h"
#include "ReportFormats.h"
#include "RunFacts.h"

namespace selftest {
namespace {

std::string Quoted(const std::string& text) {
  return base::JsonQuoted(text);
}

std::string Value(const FactValue& value) {
  return std::holds_alternative<double>(value) ? FactText(value)
                                               : Quoted(std::get<std::string>(value));
}

std::string Optional(const std::optional<double>& value) {
  return value ? ReportNumber(*value) : "null";
}

std::string PassFail(bool passed) {
  return passed ? "\"PASS\"" : "\"FAIL\"";
}

std::string Measurements(const Check& c) {
  std::string json = ",\n     \"measurements\": [";
  for (size_t m = 0; m < c.measurements.size(); ++m) {
    const Measurement& x = c.measurements[m];
    json += std::string(m ? ",\n      " : "\n      ") + "{\"name\": " + Quoted(x.id.Name()) +
            ", \"value\": " + Optional(x.value) + ", \"unit\": " + Quoted(x.unit) +
            ", \"low\": " + Optional(x.low) + ", \"high\": " + Optional(x.high) +
            ", \"verdict\": " + PassFail(x.passed) + "}";
  }
  return json + "]";
}

std::string Checks(const RunRecord& run) {
  std::string json = "  \"checks\": [";
  for (size_t i = 0; i < run.checks.size(); ++i) {
    const Check& c = run.checks[i];
    json += std::string(i ? ",\n" : "\n") + "    {\"name\": " + Quoted(CheckName(c.kind)) +
            ", \"verdict\": " + PassFail(c.passed) + ", \"measured\": " + Quoted(c.measured) +
            ", \"limits\": " + Quoted(c.limits) + ", \"detail\": " + Quoted(c.detail);
    if (!c.measurements.empty()) json += Measurements(c);
    json += "}";
  }
  return json + "\n  ]\n";
}

}  // namespace

std::string Json(const RunRecord& run) {
  std::string json = "{\n  \"program\": \"kzb7310\",\n";
  for (const char* name : {"run_id", "version", "serial", "station", "operator", "card_library",
                           "started", "ended", "duration_s"}) {
    json += "  \"" + std::string(name) + "\": " + Value(Fact(name).get(run)) + ",\n";
  }
  json += "  \"profile\": {\"name\": " + Value(Fact("profile").get(run)) +
          ", \"checksum\": " + Value(Fact("profile_checksum").get(run)) + "},\n";
  for (const char* name : {"card", "verdict"}) {
    json += "  \"" + std::string(name) + "\": " + Value(Fact(name).get(run)) + ",\n";
  }
  if (run.verdict == Verdict::NotRun) {
    json += "  \"reason\": " + Value(Fact("why_not").get(run)) + ",\n";
  }
  return json + Checks(run) + "}\n";
}

}  // namespace selftest

// Runs as JUnit XML, for CI servers and test dashboards.
#include "ReportFormats.h"
#include "RunFacts.h"

namespace selftest {
namespace {

// Text as XML holds it in an attribute or an element: the five marked characters escaped,
// and the control characters XML 1.0 cannot hold at all replaced.
std::string Xml(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\t':
      case '\r':
        out += static_cast<char>(c);
        break;
      default:
        out += c < 0x20 ? '?' : static_cast<char>(c);
    }
  }
  return out;
}

std::string Limits(const Measurement& m) {
  if (m.low && m.high) return ReportNumber(*m.low) + " .. " + ReportNumber(*m.high);
  if (m.low) return ">= " + ReportNumber(*m.low);
  if (m.high) return "<= " + ReportNumber(*m.high);
  return "none";
}

std::string SuiteStart(const RunRecord& run) {
  const bool ran = run.verdict != Verdict::NotRun;
  const size_t tests = ran ? run.checks.size() : 1;
  size_t failures = 0, errors = ran ? 0 : 1;
  for (const Check& c : run.checks) {
    if (!c.passed) (c.interrupted ? errors : failures) += 1;
  }
  const RunInfo& info = run.info;
  const std::string suite = info.serial.empty() ? run.profileName : info.serial;
  return "  <testsuite name=\"" + Xml(suite) + "\" tests=\"" + std::to_string(tests) +
         "\" failures=\"" + std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
         "\" skipped=\"0\" time=\"" + ReportNumber(info.durationSeconds) + "\" timestamp=\"" +
         Xml(info.startedIso8601) + "\" hostname=\"" + Xml(info.station) + "\">\n";
}

std::string Properties(const RunRecord& run) {
  std::string xml = "    <properties>\n";
  for (const RunFact& fact : RunFacts()) {
    if (!fact.property) continue;
    xml += "      <property name=\"" + std::string(fact.name) + "\" value=\"" +
           Xml(FactText(fact.get(run))) + "\"/>\n";
  }
  return xml + "    </properties>\n";
}

std::string TestCase(const Check& c) {
  std::string xml =
      "    <testcase name=\"" + Xml(CheckName(c)) + "\" classname=\"kzb7310.selftest\">\n";
  if (!c.passed) {
    std::string body = c.detail;
    for (const Measurement& m : c.measurements) {
      if (m.passed) continue;
      body += std::string(body.empty() ? "" : "\n") + m.id.Name() + " = " +
              (m.value ? ReportNumber(*m.value) + " " + m.unit : "not measured") + ", limits " +
              Limits(m);
    }
    const char* element = c.interrupted ? "error" : "failure";
    const std::string message = c.detail.substr(0, c.detail.find('\n'));
    xml += std::string("      <") + element + " message=\"" + Xml(message) + "\" type=\"" +
           (c.interrupted ? "ABORTED" : "FAIL") + "\">" + Xml(body) + "</" + element + ">\n";
  }
  // JUnit's order: the failure first, then what the case printed.
  xml += "      <system-out>" + Xml(c.measured + (c.limits.empty() ? "" : " (" + c.limits + ")")) +
         "</system-out>\n";
  return xml + "    </testcase>\n";
}

std::string JUnitSuite(const RunRecord& run) {
  std::string xml = SuiteStart(run) + Properties(run);
  if (run.verdict == Verdict::NotRun) {
    xml += "    <testcase name=\"run\" classname=\"kzb7310.selftest\">\n      <error message=\"" +
           Xml(run.whyNot) + "\" type=\"NOT RUN\"/>\n    </testcase>\n";
  }
  for (const Check& c : run.checks) xml += TestCase(c);
  return xml + "  </testsuite>\n";
}

}  // namespace

std::string JUnitXml(const std::vector<RunRecord>& runs) {
  return JUnitXmlHead() + JUnitSuites(runs) + JUnitXmlEnd();
}

std::string JUnitXmlHead() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"kzb7310\">\n";
}

std::string JUnitSuites(const std::vector<RunRecord>& runs) {
  std::string xml;
  for (const RunRecord& run : runs) xml += JUnitSuite(run);
  return xml;
}

std::string JUnitXmlEnd() {
  return "</testsuites>\n";
}

}  // namespace selftest

#include "Report.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "MeasurementText.h"

namespace selftest {

std::string CheckTitle(const std::string& name) {
  static const std::map<std::string, std::string> kTitles = {
      {"identity", "板卡标识"}, {"acquisition", "采集"}, {"analog", "模拟通道"},
      {"dynamic", "动态指标"},  {"digital", "开关量"},   {"stop", "停止"}};
  const auto title = kTitles.find(name);
  return title == kTitles.end() ? name : title->second;
}

std::string VerdictTitle(const std::string& verdictName) {
  static const std::map<std::string, std::string> kTitles = {
      {"PASS", "通过"}, {"FAIL", "失败"}, {"NOT RUN", "无法运行"}, {"ABORTED", "中止"}};
  const auto title = kTitles.find(verdictName);
  return title == kTitles.end() ? verdictName : title->second;
}

std::string Table(const Outcome& outcome, const Profile& profile) {
  std::string text = "自检配置: " + profile.name + " (" + profile.checksum + ")\n";
  if (!outcome.identityLine.empty()) text += "板卡: " + outcome.identityLine + "\n";
  for (const Check& c : outcome.checks) {
    const CheckLine line = CheckLineOf(c);
    const bool stopped = outcome.aborted && !c.passed;
    text += (c.passed  ? "  通过  "
             : stopped ? "  中止  "
                       : "  失败  ") +
            CheckTitle(c.name) + ": " + line.measured;
    if (!line.limits.empty()) text += " (要求: " + line.limits + ")";
    text += "\n";
    const std::string detail = DetailText(c.detail);
    size_t start = 0;
    while (!detail.empty() && start <= detail.size()) {
      const size_t end = detail.find('\n', start);
      text += "        " + detail.substr(start, end - start) + "\n";
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  if (!outcome.ranAtAll) return text + "结论: 无法运行 (" + outcome.whyNot + ")\n";
  if (outcome.aborted) return text + "结论: 中止 (测试被中断，不说明板卡好坏)\n";
  if (const Check* failed = outcome.firstFailure()) {
    return text + "结论: 失败 (第一个失败的检查: " + CheckTitle(failed->name) + ")\n";
  }
  return text + "结论: 通过\n";
}

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// A JSON number: up to 6 significant decimals, never NaN or infinity (which JSON lacks).
std::string Number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

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
  if (m.low && m.high) return Number(*m.low) + " .. " + Number(*m.high);
  if (m.low) return ">= " + Number(*m.low);
  if (m.high) return "<= " + Number(*m.high);
  return "none";
}

}  // namespace

std::string RunRecord::FirstFailure() const {
  for (const Check& c : checks) {
    if (!c.passed) return c.name;
  }
  return {};
}

RunRecord RecordOf(const Outcome& outcome, const Profile& profile, const RunInfo& info) {
  RunRecord run;
  run.id = info.runId;
  run.info = info;
  run.profileName = profile.name;
  run.profileChecksum = profile.checksum;
  run.card = outcome.identityLine;
  run.verdict = VerdictName(outcome.verdict());
  run.whyNot = outcome.whyNot;
  run.checks = outcome.checks;
  return run;
}

namespace {

std::string JUnitSuite(const RunRecord& run) {
  const RunInfo& info = run.info;
  const bool ran = run.verdict != "NOT RUN";
  const size_t tests = ran ? run.checks.size() : 1;
  size_t failures = 0, errors = ran ? 0 : 1;
  for (const Check& c : run.checks) {
    if (c.passed) continue;
    (c.detail == "interrupted" ? errors : failures) += 1;
  }
  const std::string suite = info.serial.empty() ? run.profileName : info.serial;
  std::string xml = "  <testsuite name=\"" + Xml(suite) + "\" tests=\"" + std::to_string(tests) +
                    "\" failures=\"" + std::to_string(failures) + "\" errors=\"" +
                    std::to_string(errors) + "\" skipped=\"0\" time=\"" +
                    Number(info.durationSeconds) + "\" timestamp=\"" + Xml(info.startedIso8601) +
                    "\" hostname=\"" + Xml(info.station) + "\">\n    <properties>\n";
  const std::pair<const char*, std::string> properties[] = {
      {"run_id", run.id},
      {"serial", info.serial},
      {"station", info.station},
      {"operator", info.operatorName},
      {"version", info.version},
      {"card_library", info.cardLibrary},
      {"card", run.card},
      {"profile", run.profileName},
      {"profile_checksum", run.profileChecksum},
      {"started", info.startedIso8601},
      {"ended", info.endedIso8601},
      {"verdict", run.verdict},
  };
  for (const auto& [name, value] : properties) {
    xml += "      <property name=\"" + std::string(name) + "\" value=\"" + Xml(value) + "\"/>\n";
  }
  xml += "    </properties>\n";
  if (!ran) {
    xml += "    <testcase name=\"run\" classname=\"kzb7310.selftest\">\n      <error message=\"" +
           Xml(run.whyNot) + "\" type=\"NOT RUN\"/>\n    </testcase>\n";
  }
  for (const Check& c : run.checks) {
    xml += "    <testcase name=\"" + Xml(c.name) + "\" classname=\"kzb7310.selftest\">\n";
    if (!c.passed) {
      std::string body = c.detail;
      for (const Measurement& m : c.measurements) {
        if (m.passed) continue;
        body += std::string(body.empty() ? "" : "\n") + m.name + " = " +
                (m.value ? Number(*m.value) + " " + m.unit : "not measured") + ", limits " +
                Limits(m);
      }
      const bool interrupted = c.detail == "interrupted";
      const std::string message = c.detail.substr(0, c.detail.find('\n'));
      xml += std::string("      <") + (interrupted ? "error" : "failure") + " message=\"" +
             Xml(message) + "\" type=\"" + (interrupted ? "ABORTED" : "FAIL") + "\">" + Xml(body) +
             "</" + (interrupted ? "error" : "failure") + ">\n";
    }
    // JUnit's order: the failure first, then what the case printed.
    xml += "      <system-out>" +
           Xml(c.measured + (c.limits.empty() ? "" : " (" + c.limits + ")")) + "</system-out>\n";
    xml += "    </testcase>\n";
  }
  return xml + "  </testsuite>\n";
}

}  // namespace

std::string JUnitXml(const std::vector<RunRecord>& runs) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"kzb7310\">\n";
  for (const RunRecord& run : runs) xml += JUnitSuite(run);
  return xml + "</testsuites>\n";
}

std::string JUnitXml(const Outcome& outcome, const Profile& profile, const RunInfo& info) {
  return JUnitXml(std::vector<RunRecord>{RecordOf(outcome, profile, info)});
}

std::string HistoryTable(const std::vector<RunRecord>& runs) {
  std::string text =
      "开始时间 started         序列号 serial     工位 station   操作员 operator  结论 verdict\n";
  size_t passed = 0;
  for (const RunRecord& run : runs) {
    passed += run.verdict == "PASS" ? 1 : 0;
    text += run.info.startedIso8601 + "  " + (run.info.serial.empty() ? "-" : run.info.serial) +
            "  " + run.info.station + "  " +
            (run.info.operatorName.empty() ? "-" : run.info.operatorName) + "  " + run.verdict;
    if (const std::string failed = run.FirstFailure(); !failed.empty() && run.verdict == "FAIL") {
      text += " (" + CheckTitle(failed) + ")";
    }
    text += "\n";
  }
  char summary[96];
  std::snprintf(summary, sizeof summary, "共 %zu 次, 通过 %zu 次 (%zu runs, %zu passed)\n",
                runs.size(), passed, runs.size(), passed);
  return text + summary;
}

std::string HistoryCsv(const std::vector<RunRecord>& runs) {
  // A cell as a spreadsheet reads it: quoted when it holds a comma, a quote or a line end.
  const auto cell = [](const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
  };
  std::string csv =
      "\xEF\xBB\xBFrun_id,started,ended,duration_s,serial,station,operator,verdict,first_failure,"
      "profile,profile_checksum,card_library,version\r\n";
  for (const RunRecord& r : runs) {
    const std::string cells[] = {r.id,
                                 r.info.startedIso8601,
                                 r.info.endedIso8601,
                                 Number(r.info.durationSeconds),
                                 r.info.serial,
                                 r.info.station,
                                 r.info.operatorName,
                                 r.verdict,
                                 r.FirstFailure(),
                                 r.profileName,
                                 r.profileChecksum,
                                 r.info.cardLibrary,
                                 r.info.version};
    for (size_t i = 0; i < std::size(cells); ++i) {
      if (i > 0) csv += ',';
      csv += cell(cells[i]);
    }
    csv += "\r\n";
  }
  return csv;
}

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Pass:
      return "PASS";
    case Verdict::Fail:
      return "FAIL";
    case Verdict::NotRun:
      return "NOT RUN";
    case Verdict::Aborted:
      break;
  }
  return "ABORTED";
}

std::string Json(const Outcome& outcome, const Profile& profile, const RunInfo& info) {
  const char* verdict = VerdictName(outcome.verdict());
  std::string json = "{\n  \"program\": \"kzb7310\",\n  \"run_id\": " + Quoted(info.runId) +
                     ",\n  \"version\": " + Quoted(info.version) +
                     ",\n  \"serial\": " + Quoted(info.serial) +
                     ",\n  \"station\": " + Quoted(info.station) +
                     ",\n  \"operator\": " + Quoted(info.operatorName) +
                     ",\n  \"card_library\": " + Quoted(info.cardLibrary) +
                     ",\n  \"started\": " + Quoted(info.startedIso8601) +
                     ",\n  \"ended\": " + Quoted(info.endedIso8601) +
                     ",\n  \"duration_s\": " + Number(info.durationSeconds) +
                     ",\n  \"profile\": {\"name\": " + Quoted(profile.name) +
                     ", \"checksum\": " + Quoted(profile.checksum) +
                     "},\n  \"card\": " + Quoted(outcome.identityLine) + ",\n  \"verdict\": \"" +
                     verdict + "\",\n";
  if (!outcome.ranAtAll) json += "  \"reason\": " + Quoted(outcome.whyNot) + ",\n";
  json += "  \"checks\": [";
  for (size_t i = 0; i < outcome.checks.size(); ++i) {
    const Check& c = outcome.checks[i];
    json += std::string(i ? ",\n" : "\n") + "    {\"name\": " + Quoted(c.name) +
            ", \"verdict\": \"" + (c.passed ? "PASS" : "FAIL") +
            "\", \"measured\": " + Quoted(c.measured) + ", \"limits\": " + Quoted(c.limits) +
            ", \"detail\": " + Quoted(c.detail);
    if (!c.measurements.empty()) {
      json += ",\n     \"measurements\": [";
      for (size_t m = 0; m < c.measurements.size(); ++m) {
        const Measurement& x = c.measurements[m];
        json += std::string(m ? ",\n      " : "\n      ") + "{\"name\": " + Quoted(x.name) +
                ", \"value\": " + (x.value ? Number(*x.value) : "null") +
                ", \"unit\": " + Quoted(x.unit) +
                ", \"low\": " + (x.low ? Number(*x.low) : "null") +
                ", \"high\": " + (x.high ? Number(*x.high) : "null") + ", \"verdict\": \"" +
                (x.passed ? "PASS" : "FAIL") + "\"}";
      }
      json += "]";
    }
    json += "}";
  }
  return json + "\n  ]\n}\n";
}

}  // namespace selftest

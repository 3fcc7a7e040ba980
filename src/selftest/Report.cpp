#include "Report.h"

#include <cmath>
#include <cstdio>
#include <map>

namespace selftest {

std::string CheckTitle(const std::string& name) {
  static const std::map<std::string, std::string> kTitles = {
      {"identity", "板卡标识"}, {"acquisition", "采集"}, {"analog", "模拟通道"},
      {"dynamic", "动态指标"},  {"digital", "开关量"},   {"stop", "停止"}};
  const auto title = kTitles.find(name);
  return title == kTitles.end() ? name : title->second;
}

std::string Table(const Outcome& outcome, const Profile& profile) {
  std::string text = "自检配置: " + profile.name + " (" + profile.checksum + ")\n";
  if (!outcome.identityLine.empty()) text += "板卡: " + outcome.identityLine + "\n";
  for (const Check& c : outcome.checks) {
    text += (c.passed ? "  通过  " : "  失败  ") + CheckTitle(c.name) + ": " + c.measured;
    if (!c.limits.empty()) text += " (要求: " + c.limits + ")";
    text += "\n";
    size_t start = 0;
    while (!c.detail.empty() && start <= c.detail.size()) {
      const size_t end = c.detail.find('\n', start);
      text += "        " + c.detail.substr(start, end - start) + "\n";
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

}  // namespace

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
  std::string json = "{\n  \"program\": \"kzb7310\",\n  \"version\": " + Quoted(info.version) +
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
                ", \"value\": " + Number(x.value) + ", \"unit\": " + Quoted(x.unit) +
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

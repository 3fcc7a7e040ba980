// The operator's table of a self-test run.
#include "MeasurementText.h"
#include "ReportFormats.h"

namespace selftest {
namespace {

// Each line of a check's detail, indented under its row.
std::string DetailLines(const Check& c) {
  const std::string detail = DetailText(c.detail);
  std::string text;
  size_t start = 0;
  while (!detail.empty() && start <= detail.size()) {
    const size_t end = detail.find('\n', start);
    text += "        " + detail.substr(start, end - start) + "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return text;
}

}  // namespace

std::string Table(const Outcome& outcome, const Profile& profile) {
  std::string text = "自检配置: " + profile.name + " (" + profile.checksum + ")\n";
  if (!outcome.identityLine.empty()) text += "板卡: " + outcome.identityLine + "\n";
  for (const Check& c : outcome.checks) {
    const CheckLine line = CheckLineOf(c);
    const bool stopped = outcome.aborted && !c.passed;
    text += (c.passed  ? "  通过  "
             : stopped ? "  中止  "
                       : "  失败  ") +
            CheckTitle(c.kind) + ": " + line.measured;
    if (!line.limits.empty()) text += " (要求: " + line.limits + ")";
    text += "\n" + DetailLines(c);
  }
  if (!outcome.ranAtAll) return text + "结论: 无法运行 (" + outcome.whyNot + ")\n";
  if (outcome.aborted) return text + "结论: 中止 (测试被中断，不说明板卡好坏)\n";
  if (const Check* failed = outcome.firstFailure()) {
    return text + "结论: 失败 (第一个失败的检查: " + CheckTitle(failed->kind) + ")\n";
  }
  return text + "结论: 通过\n";
}

}  // namespace selftest

#include "MeasurementText.h"

#include <algorithm>
#include <map>

#include "NumberForms.h"

namespace selftest {

namespace {

struct UnitText {
  const char* shown;
  int decimals;
};

UnitText UnitOf(const std::string& unit) {
  static const std::map<std::string, UnitText> kUnits = {
      {"V", {"V", 4}},       {"dB", {"dB", 1}},          {"dBc", {"dBc", 1}},
      {"Hz", {"Hz", 2}},     {"bits", {"位", 2}},        {"codes", {"码", 2}},
      {"blocks", {"块", 0}}, {"blocks/s", {"块/秒", 3}}, {"patterns", {"次", 0}}};
  const auto known = kUnits.find(unit);
  return known == kUnits.end() ? UnitText{unit.c_str(), 3} : known->second;
}

std::string Number(double value, int decimals) {
  return numtext::Fixed(value, decimals);
}

std::string WithUnit(const std::string& number, const UnitText& unit) {
  return *unit.shown ? number + " " + unit.shown : number;
}

// The part after "channel N ": the figure's own name.
std::string FigureTitle(const std::string& figure) {
  static const std::map<std::string, std::string> kFigures = {{"mean", "均值"},
                                                              {"noise", "噪声"},
                                                              {"minimum", "最小值"},
                                                              {"maximum", "最大值"},
                                                              {"frequency", "频率"},
                                                              {"blocks received", "收到数据块"},
                                                              {"block rate", "数据块速率"},
                                                              {"lost blocks", "丢失数据块"},
                                                              {"patterns misread", "读错次数"}};
  const auto known = kFigures.find(figure);
  return known == kFigures.end() ? figure : known->second;
}

}  // namespace

std::string CheckTitle(CheckKind kind) {
  static const std::map<CheckKind, std::string> kTitles = {
      {CheckKind::Identity, "板卡标识"}, {CheckKind::Acquisition, "采集"},
      {CheckKind::Analog, "模拟通道"},   {CheckKind::Dynamic, "动态指标"},
      {CheckKind::Digital, "开关量"},    {CheckKind::Stop, "停止"}};
  return kTitles.at(kind);
}

std::string CheckTitle(const Check& check) {
  return check.unknownName.empty() ? CheckTitle(check.kind) : "未知检查 " + check.unknownName;
}

std::string VerdictTitle(Verdict verdict) {
  static const std::map<Verdict, std::string> kTitles = {{Verdict::Pass, "通过"},
                                                         {Verdict::Fail, "失败"},
                                                         {Verdict::NotRun, "无法运行"},
                                                         {Verdict::Aborted, "中止"}};
  return kTitles.at(verdict);
}

std::string MeasurementTitle(const FigureId& id) {
  switch (id.subject) {
    case Subject::Channel:
      return "通道" + std::to_string(id.number) + " " + FigureTitle(id.figure);
    case Subject::OutputBit:
      return "输出位" + std::to_string(id.number) + " " + FigureTitle(id.figure);
    case Subject::Card:
      break;
  }
  return FigureTitle(id.figure);
}

std::string ValueText(std::optional<double> value, const std::string& unit) {
  if (!value) return "无信号";
  const UnitText u = UnitOf(unit);
  return WithUnit(Number(*value, u.decimals), u);
}

std::string LimitsText(const Measurement& m) {
  const UnitText u = UnitOf(m.unit);
  if (m.low && m.high) {
    return WithUnit(Number(*m.low, u.decimals) + " … " + Number(*m.high, u.decimals), u);
  }
  if (m.low) return "≥ " + WithUnit(Number(*m.low, u.decimals), u);
  if (m.high) return "≤ " + WithUnit(Number(*m.high, u.decimals), u);
  return {};
}

CheckLine CheckLineOf(const Check& check) {
  for (const Measurement& m : check.measurements) {
    if (!m.passed)
      return {MeasurementTitle(m.id) + " " + ValueText(m.value, m.unit), LimitsText(m)};
  }
  if (check.kind == CheckKind::Identity) return {check.measured, check.limits};  // its lines
  if (check.kind == CheckKind::Stop) {
    return {check.passed ? "已停止，输出为 0" : "无法访问板卡", "采集停止，输出为 0"};
  }
  if (check.measurements.empty()) return {check.passed ? "通过" : "未能测量", {}};
  if (check.measurements.size() > 3) {
    return {std::to_string(check.measurements.size()) + " 项测量均在限值内", "配置中的限值"};
  }
  CheckLine line;
  for (const Measurement& m : check.measurements) {
    const std::string separator = line.measured.empty() ? "" : "，";
    line.measured += separator + MeasurementTitle(m.id) + " " + ValueText(m.value, m.unit);
    line.limits += separator + LimitsText(m);
  }
  return line;
}

namespace {

// Whole lines first, then the phrases the checks build their lines from, longest first
// where one holds another.
constexpr std::pair<const char*, const char*> kDetailLines[] = {
    {"interrupted", "测试被中断"},
    {"the card answers as another card", "板卡应答为另一型号的板卡"},
    {"blocks arrive too slowly, or some were skipped", "数据块到达太慢，或有数据块被跳过"},
    {"blocks arrive too fast", "数据块到达太快"},
    {"the inputs answer nothing", "输入端没有应答"},
};
constexpr std::pair<const char*, const char*> kDetailPhrases[] = {
    {" blocks the card finished never arrived", " 个板卡已完成的数据块没有收到"},
    {" blocks arrived within ", " 个数据块到达，限时 "},
    {"the start was refused: ", "启动被拒绝: "},
    {" was fetched with status ", " 读取状态为 "},
    {"'s level (shifted or swapped)", " 的电平 (通道错位或交换)"},
    {"; reads channel ", "；读到通道"},
    {"; expected ", "；应为 "},
    {"; noise above ", "；噪声超过 "},
    {"; outside ", "；超出 "},
    {"; at least ", "；应不小于 "},
    {"; at most ", "；应不大于 "},
    {" not measured", " 无信号"},
    {" no signal", " 无信号"},
    {" (no tone found)", " (无信号)"},
    {"walking 1 on output ", "走 1 输出位 "},
    {"walking 0 on output ", "走 0 输出位 "},
    {": input ", "：输入位 "},
    {", expected ", "，应为 "},
    {" reads ", " 读到 "},
    {" (crossed with output ", " (与输出位串接: "},
    {" (stuck)", " (固定不变)"},
    {": mean ", ": 均值 "},
    {", noise ", "，噪声 "},
    {", min ", "，最小 "},
    {", max ", "，最大 "},
    {" frequency ", " 频率 "},
    {" noise ", " 噪声 "},
    {"channel ", "通道"},
    {"block ", "数据块 "},
    {"only ", "只有 "},
    {" of ", " / "},
};

std::string DetailLine(std::string line) {
  for (const auto& [english, chinese] : kDetailLines) {
    if (line == english) return chinese;
  }
  for (const auto& [english, chinese] : kDetailPhrases) {
    const std::string from = english;
    for (size_t at = line.find(from); at != std::string::npos;
         at = line.find(from, at + std::string(chinese).size())) {
      line.replace(at, from.size(), chinese);
    }
  }
  return line;
}

}  // namespace

std::string DetailText(const std::string& detail) {
  std::string text;
  size_t start = 0;
  while (start <= detail.size()) {
    const size_t end = std::min(detail.find('\n', start), detail.size());
    text += (start == 0 ? "" : "\n") + DetailLine(detail.substr(start, end - start));
    start = end + 1;
  }
  return text;
}

}  // namespace selftest

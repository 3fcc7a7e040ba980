#include "MeasurementText.h"

#include <cstdio>
#include <map>

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
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
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

std::string MeasurementTitle(const std::string& name) {
  static const std::pair<const char*, const char*> kSubjects[] = {{"channel ", "通道"},
                                                                  {"output bit ", "输出位"}};
  for (const auto& [english, chinese] : kSubjects) {
    if (!name.starts_with(english)) continue;
    const size_t number = std::string(english).size();
    const size_t space = name.find(' ', number);
    if (space == std::string::npos) break;
    return chinese + name.substr(number, space - number) + " " +
           FigureTitle(name.substr(space + 1));
  }
  return FigureTitle(name);
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
      return {MeasurementTitle(m.name) + " " + ValueText(m.value, m.unit), LimitsText(m)};
  }
  if (check.name == "identity") return {check.measured, check.limits};  // identity lines
  if (check.name == "stop") {
    return {check.passed ? "已停止，输出为 0" : "无法访问板卡", "采集停止，输出为 0"};
  }
  if (check.measurements.empty()) return {check.passed ? "通过" : "未能测量", {}};
  if (check.measurements.size() > 3) {
    return {std::to_string(check.measurements.size()) + " 项测量均在限值内", "配置中的限值"};
  }
  CheckLine line;
  for (const Measurement& m : check.measurements) {
    const std::string separator = line.measured.empty() ? "" : "，";
    line.measured += separator + MeasurementTitle(m.name) + " " + ValueText(m.value, m.unit);
    line.limits += separator + LimitsText(m);
  }
  return line;
}

}  // namespace selftest

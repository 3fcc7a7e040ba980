// The line under the station's banner that says when the line sees one of this station's
// figures break a run rule: "过程告警: 通道5 增益 — 规则4: 连续8点在中心线同侧". After each
// upload pass it reads the station's figures of its recent runs from the line, on a thread of
// its own, and judges each figure's series (src/spc); hidden while no rule is broken.
#pragma once

#include <QLabel>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "LineSettings.h"
#include "Spc.h"

// The recent runs judged: the last 30 days, at most the newest 200 of them.
constexpr int kRuleDays = 30;
constexpr size_t kRuleRuns = 200;

// The alarm for a station's samples (every figure, any order): the first figure, by name,
// whose newest point ends a stretch that breaks a rule, with that rule (the lowest number);
// "另有 N 项" when more figures do. Empty when none does.
std::string RuleAlarmText(std::vector<spc::Sample> samples);

class StationRuleLine : public QLabel {
  Q_OBJECT

 public:
  StationRuleLine(selftest::LineSettings line, std::string station, QWidget* parent);
  // Waits for a look still running; it is bounded by the connection's and the statement's
  // waits.
  ~StationRuleLine() override;

  // Looks again, unless a look is running.
  void Check();

 private:
  selftest::LineSettings line_;
  std::string station_;
  std::thread look_;
  std::atomic<bool> looking_{false};
};

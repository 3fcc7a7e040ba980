#include "StationRuleLine.h"

#include <QDateTime>
#include <chrono>
#include <map>

#include "LineFigures.h"
#include "LineStore.h"
#include "MeasurementText.h"
#include "SpcReport.h"
#include "WidgetText.h"

namespace {

// How long the line may take over one statement.
constexpr std::chrono::milliseconds kStatementWait{5000};

// "规则4: 连续8点在中心线同侧".
std::string RuleWords(int rule) {
  const std::string text = spc::RuleText(rule);
  const std::string words = text.substr(text.find(' ') + 1);
  return "规则" + std::to_string(rule) + ": " + words.substr(0, words.find(" ("));
}

}  // namespace

std::string RuleAlarmText(std::vector<spc::Sample> samples) {
  const spc::Report report = spc::SeriesOf(std::move(samples), kRuleRuns, false);
  std::string first;
  int more = 0;
  for (const spc::Series& series : report.series) {
    const spc::Analysis& a = series.analysis;
    int rule = 0;
    for (const spc::Violation& v : a.violations) {
      if (v.last + 1 == a.points.size() && (rule == 0 || v.rule < rule)) rule = v.rule;
    }
    if (rule == 0) continue;
    if (!first.empty()) {
      ++more;
      continue;
    }
    first = "过程告警: " + selftest::MeasurementTitle(selftest::FigureId(series.figure)) + " — " +
            RuleWords(rule);
  }
  if (more > 0) first += " (另有 " + std::to_string(more) + " 项)";
  return first;
}

StationRuleLine::StationRuleLine(selftest::LineSettings line, std::string station, QWidget* parent)
    : QLabel(parent), line_(std::move(line)), station_(std::move(station)) {
  setObjectName("lblRules");
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  setStyleSheet("QLabel { color: #bc4c00; font-weight: bold; }");
  hide();
}

StationRuleLine::~StationRuleLine() {
  if (look_.joinable()) look_.join();
}

void StationRuleLine::Check() {
  if (looking_.exchange(true)) return;
  if (look_.joinable()) look_.join();  // done: it said so before it ended
  const std::string since =
      FromQt(QDateTime::currentDateTimeUtc().addDays(-kRuleDays).toString(Qt::ISODate));
  look_ = std::thread([this, line = line_, station = station_, since] {
    std::string text;
    bool read = false;
    if (auto store = line::LineStore::Open(line); store) {
      if (store.value()->BoundStatements(kStatementWait)) {
        if (auto samples = store.value()->Figures({"", station, since, kRuleRuns}); samples) {
          text = RuleAlarmText(std::move(samples.value()));
          read = true;
        }
      }
    }
    // What the line could not say leaves the last alarm standing: the line's own status says
    // it cannot be reached.
    QMetaObject::invokeMethod(
        this,
        [this, text, read] {
          if (read) {
            setText(ToQt(text));
            setToolTip(ToQt(text));
            setVisible(!text.empty());
          }
        },
        Qt::QueuedConnection);
    looking_ = false;
  });
}

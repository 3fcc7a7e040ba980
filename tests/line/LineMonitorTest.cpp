// The line monitor and the station's process alarm against a real line server holding the
// runs tests/program/line-monitor seeds (libpq's PGHOST, PGPORT, PGDATABASE, PGPASSFILE):
// what the monitor reads at first, a run another connection adds heard within 2 s, the window
// with its panes, and the alarm line of a station whose figure broke a rule.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTableWidget>
#include <QTest>
#include <chrono>
#include <thread>

#include "ControlChart.h"
#include "LineFigures.h"
#include "LineMonitor.h"
#include "LineMonitorWindow.h"
#include "LineStore.h"
#include "RunId.h"
#include "StationRuleLine.h"
#include "WidgetText.h"

namespace {

selftest::LineSettings As(const char* user) {
  selftest::LineSettings settings;
  settings.user = user;
  return settings;
}

const line::YieldRow* YieldOf(const std::vector<line::YieldRow>& rows, const std::string& station) {
  for (const line::YieldRow& row : rows) {
    if (row.hour.empty() && row.station == station) return &row;
  }
  return nullptr;
}

// A run of 工位1 started now, its mean far above the others'.
selftest::RunRecord NewRun() {
  selftest::RunRecord run;
  run.id = selftest::NewRunId();
  const std::string now = FromQt(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
  run.info = {.version = "1.0",
              .startedIso8601 = now,
              .endedIso8601 = now,
              .durationSeconds = 4.5,
              .serial = "HEARD-1",
              .station = "工位1",
              .operatorName = "",
              .cardLibrary = "sim"};
  run.profileName = "simulated-card.ini";
  run.profileChecksum = "0";
  run.card = "sim";
  run.verdict = selftest::Verdict::Pass;
  selftest::Check& check = run.checks.emplace_back();
  check.kind = selftest::CheckKind::Analog;
  check.passed = true;
  check.measurements.push_back({"channel 9 mean", 1.3, "", 0.5, 1.5, true});
  return run;
}

}  // namespace

class LineMonitorTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { line::LineStore::LoadDriver(); }

  // The seeded line as the monitor reads it at first: the stations' newest runs, the yield
  // as the line report counts it, the failures sorted with their shares, a figure's chart.
  void theModelHoldsTheSeededLine() {
    auto store = line::LineStore::Open(As("reader"));
    QVERIFY2(store, store ? "" : store.failure().reason.c_str());
    const std::string since =
        FromQt(QDateTime::currentDateTimeUtc().addSecs(-24 * 3600).toString(Qt::ISODate));
    auto start = store.value()->MonitorSince(since, "channel 9 mean", "");
    QVERIFY2(start, start ? "" : start.failure().reason.c_str());
    line::MonitorModel model;
    model.Reset(std::move(start.value()), "channel 9 mean", "");

    const auto stations = model.Stations();
    QCOMPARE(stations.size(), size_t(3));
    QCOMPARE(stations[0].station, std::string("工位1"));
    QCOMPARE(stations[0].serial, std::string("S2"));  // its retest, newest
    QCOMPARE(stations[0].verdict, std::string("PASS"));
    QCOMPARE(stations[0].clockOffsetSeconds, 0.5);
    QCOMPARE(stations[1].serial, std::string("S4"));  // not the older run beyond the span

    QCOMPARE(model.RunCount(), size_t(25));
    const auto yields = model.Yields();
    const auto* one = YieldOf(yields, "工位1");
    QVERIFY(one);
    QCOMPARE(one->yield.runs, 3);
    QCOMPARE(one->yield.units, 2);
    QCOMPARE(one->yield.firstPass, 1);
    QCOMPARE(one->yield.finalPass, 2);
    const auto* whole = YieldOf(yields, "");
    QVERIFY(whole);
    QCOMPARE(whole->yield.units, 24);
    QCOMPARE(whole->yield.firstPass, 22);
    QCOMPARE(whole->yield.finalPass, 23);

    const auto pareto = model.Pareto();
    QCOMPARE(pareto.size(), size_t(4));
    QCOMPARE(pareto[0].name, std::string("analog"));
    QCOMPARE(pareto[0].count, 2);
    QCOMPARE(pareto[0].cumulativeShare, 2.0 / 3);
    QCOMPARE(pareto[1].cumulativeShare, 1.0);
    QVERIFY(pareto[2].figure);
    QCOMPARE(pareto[2].name, std::string("channel 5 noise"));
    QCOMPARE(pareto[2].count, 2);

    QCOMPARE(model.FigureNames(),
             (std::vector<std::string>{"channel 5 noise", "channel 7 mean", "channel 9 mean"}));
    QCOMPARE(model.ChartSamples().size(), size_t(20));
    QCOMPARE(*model.ChartSamples().front().value, 1.0);
    const spc::Analysis chart = model.ChartAnalysis();
    QCOMPARE(chart.points.size(), size_t(20));
    bool sideRun = false;
    for (const spc::Violation& v : chart.violations)
      sideRun = sideRun || (v.rule == 4 && v.last == 19);
    QVERIFY(sideRun);
  }

  // A run another connection adds comes to the window within 2 s, announced by the server:
  // its station's state, the yield and the chart take it.
  void aRunAddedElsewhereIsHeardWithinTwoSeconds() {
    LineMonitorWindow window(As("reader"));
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(window.picture() != nullptr, 15000);
    auto* figure = window.findChild<QComboBox*>("cboFigure");
    QVERIFY(figure);
    figure->setCurrentIndex(figure->findData(QString("channel 9 mean")));
    QTRY_COMPARE_WITH_TIMEOUT(window.picture()->chart.size(), size_t(20), 5000);
    const size_t runs = window.picture()->runs;
    QVERIFY(window.findChild<QLabel*>("lblMonitor")->text().startsWith("全线: 已连接"));
    for (const char* pane : {"tblStations", "tblYield", "tblPareto"}) {
      QVERIFY2(window.findChild<QTableWidget*>(pane)->rowCount() > 0, pane);
    }
    QVERIFY(window.findChild<ControlChart*>("picControlChart")->isVisible());

    auto station = line::LineStore::Open(As("station1"));
    QVERIFY2(station, station ? "" : station.failure().reason.c_str());
    QVERIFY(station.value()
                ->Upload(NewRun(), line::ClockReading{.offsetSeconds = 0.0, .boundSeconds = 0.0})
                .value_or(false));
    QTRY_COMPARE_WITH_TIMEOUT(window.picture()->runs, runs + 1, 2000);
    QCOMPARE(window.picture()->chart.size(), size_t(21));
    QCOMPARE(window.picture()->stations[0].serial, std::string("HEARD-1"));
  }

  // A line that cannot be reached is said, in the kind's Chinese, and the window stays.
  void anUnreachableLineIsSaid() {
    selftest::LineSettings nowhere = As("reader");
    nowhere.host = FromQt(QDir::tempPath()) + "/no-server-here";
    LineMonitorWindow window(nowhere);
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(
        window.findChild<QLabel*>("lblMonitor")->text().startsWith("全线: 无法连接"), 15000);
    QVERIFY(window.picture() == nullptr);
  }

  // 工位3's mean stepped up for its last runs: eight in a row above the centre line.
  void theStationSaysWhichFigureBreaksWhichRule() {
    auto store = line::LineStore::Open(As("station2"));
    QVERIFY(store);
    auto samples = store.value()->Figures({"", "工位3", "", 0});
    QVERIFY(samples);
    QCOMPARE(RuleAlarmText(samples.value()),
             std::string("过程告警: 通道9 均值 — 规则4: 连续8点在中心线同侧"));
    // The line under the station's banner reads the same off the window's thread.
    StationRuleLine alarm(As("station2"), "工位3", nullptr);
    alarm.Check();
    QTRY_VERIFY_WITH_TIMEOUT(!alarm.isHidden(), 15000);
    QVERIFY(alarm.text().endsWith("规则4: 连续8点在中心线同侧"));
    auto calm = store.value()->Figures({"", "工位2", "", 0});
    QVERIFY(calm);
    QCOMPARE(RuleAlarmText(calm.value()), std::string());
  }
};

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  LineMonitorTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "LineMonitorTest.moc"

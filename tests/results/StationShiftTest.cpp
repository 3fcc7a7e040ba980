// A station's shift, from the scan to kept: held runs go in first, unsaved runs next in the
// order they were tested, no card is tested while one of them is on no disk, a database
// that refuses the run holds it beside it, and a report place that is gone costs the
// report alone.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "ProgramFolders.h"
#include "ResultsStore.h"
#include "RunId.h"
#include "StationShift.h"

namespace {

selftest::RunRecord Run(const std::string& serial, const std::string& started) {
  selftest::RunRecord run;
  run.id = selftest::NewRunId();
  run.info.serial = serial;
  run.info.startedIso8601 = started;
  run.verdict = selftest::Verdict::Pass;
  return run;
}

// The serials the database at `path` holds, oldest first; "-" when it holds none.
QString Stored(const std::string& path) {
  auto store = results::ResultsStore::OpenForReading(path);
  QStringList serials;
  if (store) {
    for (const auto& run : store.value()->Runs({}).value_or({})) {
      serials << QString::fromStdString(run.info.serial);
    }
  }
  return serials.isEmpty() ? "-" : serials.join(' ');
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

}  // namespace

class StationShiftTest : public QObject {
  Q_OBJECT

 private slots:
  void aScanKeepsWhatWaitsFirst_data() {
    QTest::addColumn<QString>("place");    // where the database is
    QTest::addColumn<bool>("heldBefore");  // a run held from a last session
    QTest::addColumn<QString>("report");   // the command line's report, else "beside"
    QTest::addColumn<bool>("tested");
    QTest::addColumn<QString>("stored");  // the database's serials, oldest first
    QTest::addColumn<int>("held");        // runs held beside it afterwards
    QTest::addColumn<int>("unsaved");     // runs on no disk, kept for the next scan
    QTest::addColumn<bool>("reported");
    QTest::newRow("held runs first, in testing order")
        << "results.sqlite" << true << "beside" << true << "H1 U1 T1" << 0 << 0 << true;
    QTest::newRow("an unsaved run on no disk tests no card")
        << "blocker/results.sqlite" << false << "beside" << false << "-" << 0 << 1 << false;
    QTest::newRow("a refused database holds the run")
        << "garbage.sqlite" << false << "beside" << true << "-" << 2 << 0 << true;
    QTest::newRow("a report place that is gone costs the report alone")
        << "results.sqlite" << false << "gone/report.json" << true << "U1 T1" << 0 << 0 << false;
  }
  void aScanKeepsWhatWaitsFirst() {
    QFETCH(QString, place);
    QFETCH(bool, heldBefore);
    QFETCH(QString, report);
    QTemporaryDir dir;
    WriteFile(dir.filePath("blocker"), "a file where a folder should be");
    WriteFile(dir.filePath("garbage.sqlite"), QByteArray(4096, 'x'));
    const std::string database = dir.filePath(place).toStdString();
    if (heldBefore) {
      QVERIFY(results::ResultsStore::Open(production::HeldRunsPath(database))
                  .value()
                  ->Save(Run("H1", "2026-12-09T08:00:00Z")));
    }
    production::StationShift shift(
        {.database = database,
         .reportsBeside = report == "beside",
         .jsonReport = report == "beside" ? "" : dir.filePath(report).toStdString(),
         .junitReport = {}});
    int tests = 0;
    const production::ShiftRun run =
        shift.Run({production::KeptRun(Run("U1", "2026-12-09T09:00:00Z"))}, [&] {
          ++tests;
          return Run("T1", "2026-12-09T10:00:00Z");
        });
    QTEST(run.tested, "tested");
    QCOMPARE(tests, run.tested ? 1 : 0);
    QTEST(Stored(database), "stored");
    QTEST(run.held, "held");
    QTEST(static_cast<int>(run.unsaved.size()), "unsaved");
    QTEST(run.last.json.done, "reported");
  }
};

QTEST_GUILESS_MAIN(StationShiftTest)
#include "StationShiftTest.moc"

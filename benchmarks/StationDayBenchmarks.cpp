// The station late in a long day: Enter to the verdict's banner with 10,000 runs of today in
// its own database (each the simulated card's whole record, figures and all), beside the
// same station on an empty database in the same run.
#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "Profile.h"
#include "RunFacts.h"
#include "SimCardControl.h"
#include "StationWindow.h"

namespace {

constexpr int kRunsToday = 10000;

// Enter on `serial` to a passing banner.
void EnterToBanner(StationWindow& station, const QByteArray& database, const QString& serial) {
  qputenv("KZB_RESULTS_DB", database);
  auto* field = station.findChild<QLineEdit*>("txtSerial");
  auto* banner = station.findChild<QLabel*>("lblBanner");
  field->setText(serial);
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(field, &key);
  while (!banner->text().startsWith("通过")) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  banner->repaint();
}

// The database's one run copied `count` times, all started now: a day's runs, every check
// and figure of each.
bool FillDay(const QString& path, int count) {
  QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "kzb7310-fill-day");
  db.setDatabaseName(path);
  bool filled = db.open() && db.transaction();
  const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  QStringList columns, values;
  for (const selftest::RunFact& fact : selftest::RunFacts()) {
    if (!fact.column) continue;
    const QString column = fact.column;
    columns << column;
    values << (column == "id"                             ? "'day-' || i"
               : column == "serial"                       ? "printf('DAY%06d', i)"
               : column == "started" || column == "ended" ? "'" + now + "'"
                                                          : "t." + column);
  }
  const QString days = QString(
                           "WITH RECURSIVE g(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM g "
                           "WHERE i < %1) ")
                           .arg(count);
  const QString one = "(SELECT id FROM runs LIMIT 1)";
  for (const QString& statement :
       {days + "INSERT INTO runs (" + columns.join(", ") + ") SELECT " + values.join(", ") +
            " FROM g, runs t WHERE t.id = " + one,
        days +
            "INSERT INTO measurements SELECT 'day-' || i, check_position, position, name, "
            "value, unit, low, high, passed FROM g, measurements WHERE run_id = " +
            one,
        days +
            "INSERT INTO checks SELECT 'day-' || i, position, name, passed, measured, "
            "limits, detail FROM g, checks WHERE run_id = " +
            one}) {
    QSqlQuery query(db);
    filled = filled && query.exec(statement);
  }
  filled = filled && db.commit();
  db.close();
  db = QSqlDatabase();
  QSqlDatabase::removeDatabase("kzb7310-fill-day");
  return filled;
}

void StationEnterToBannerLateInTheDay(benchmark::State& state) {
  SimCard_Reset();
  SimCard_SetManualClock(0);
  QTemporaryDir dir;
  const QByteArray day = dir.filePath("day.sqlite").toUtf8();
  const QByteArray fresh = dir.filePath("fresh.sqlite").toUtf8();
  const selftest::Profile profile =
      selftest::LoadProfile(PROFILES_DIR "/simulated-card.ini").value();
  {
    // One real run made by the station, then the day's copies of it.
    qputenv("KZB_RESULTS_DB", day);
    StationWindow first(ADCARD_PATH, profile);
    first.show();
    first.WaitForTest();
    EnterToBanner(first, day, "KZB000000");
    first.WaitForTest();
  }
  if (!FillDay(QString::fromUtf8(day), kRunsToday)) {
    state.SkipWithError("the day's runs could not be made");
    return;
  }
  qputenv("KZB_RESULTS_DB", day);
  StationWindow late(ADCARD_PATH, profile);
  qputenv("KZB_RESULTS_DB", fresh);
  StationWindow early(ADCARD_PATH, profile);
  for (StationWindow* station : {&late, &early}) {
    station->show();
    station->WaitForTest();
  }
  int n = 0;
  bench::Interleaved(
      state, [&] { EnterToBanner(late, day, QString("KZB%1").arg(++n, 6, 10, QChar('0'))); },
      [&] { EnterToBanner(early, fresh, QString("KZB%1").arg(++n, 6, 10, QChar('0'))); });
  late.WaitForTest();
  // "今日: 10005 次，…": the day the late station counts.
  state.counters["runs_today"] =
      late.findChild<QLabel*>("lblToday")->text().section(' ', 1, 1).toInt();
  qunsetenv("KZB_RESULTS_DB");
}
BENCHMARK(StationEnterToBannerLateInTheDay)
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

// The results database: a run comes back as it went in, the history filters by serial and
// time, a database another program holds refuses a run whole (held beside it for the next
// start), and what is not such a database is refused with the reason, untouched.
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>
#include <vector>

#include "HeldRuns.h"
#include "KeepRun.h"
#include "ProgramFolders.h"
#include "ResultsStore.h"
#include "SqlCauses.h"

namespace {

selftest::RunRecord Run(const std::string& serial, const std::string& started) {
  selftest::RunRecord run;
  run.info.serial = serial;
  run.info.station = "工位3";
  run.info.startedIso8601 = started;
  run.info.durationSeconds = 4.5;
  run.profileName = "fixture.ini";
  run.verdict = selftest::Verdict::Fail;
  selftest::Check check;
  check.kind = selftest::CheckKind::Dynamic;
  check.detail = "channel 64 SNR 55.80 dB; at least 80.00";
  check.measurements = {{"channel 64 SNR", 55.8, "dB", 80.0, std::nullopt, false},
                        {"channel 64 frequency", 40.0, "Hz", 39.9, 40.1, true},
                        {"channel 64 SINAD", std::nullopt, "dB", 78.0, std::nullopt, false}};
  run.checks = {check};
  return run;
}

}  // namespace

class ResultsStoreTest : public QObject {
  Q_OBJECT

 private slots:
  void aRunComesBackAsItWentIn() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("a/b/results.sqlite").toStdString();
    std::string first, second;
    {
      auto store = results::ResultsStore::Open(path);
      QVERIFY(store);
      first = store.value()->Save(Run("KZB000001", "2026-12-09T08:00:00Z")).value();
      second = store.value()->Save(Run("KZB000002", "2026-12-10T08:00:00Z")).value();
    }
    QVERIFY(first != second);
    auto store = results::ResultsStore::Open(path);  // reopened: kept on disk
    const auto runs = store.value()->Runs({});
    QCOMPARE(runs.value().size(), size_t{2});
    const selftest::RunRecord& run = runs.value()[0];
    QCOMPARE(run.id, first);
    QCOMPARE(run.info.station, std::string("工位3"));
    QCOMPARE(run.info.durationSeconds, 4.5);
    QCOMPARE(run.checks.size(), size_t{1});
    QCOMPARE(run.checks[0].detail, Run("", "").checks[0].detail);
    const auto& m = run.checks[0].measurements;
    QCOMPARE(m.size(), size_t{3});
    QCOMPARE(m[0].id.Name(), std::string("channel 64 SNR"));
    QVERIFY(m[0].value == 55.8 && !m[2].value && !m[2].passed);  // a figure not measured
    QVERIFY(m[0].low == 80.0 && !m[0].high && !m[0].passed);
    QVERIFY(m[1].low == 39.9 && m[1].high == 40.1 && m[1].passed);

    QCOMPARE(store.value()->Runs({.serial = "KZB000002", .since = {}, .newest = 0}).value().size(),
             size_t{1});
    QCOMPARE(store.value()->Runs({.serial = {}, .since = "2026-12-10", .newest = 0}).value().size(),
             size_t{1});
    const auto newest = store.value()->Runs({.serial = {}, .since = {}, .newest = 1}).value();
    QCOMPARE(newest.size(), size_t{1});
    QCOMPARE(newest[0].id, second);
  }

  // A held copy moves into the database: saved again it changes nothing, forgotten it is
  // gone whole.
  void aRunSavedAgainChangesNothingAndAForgottenOneIsGone() {
    QTemporaryDir dir;
    auto store = results::ResultsStore::Open(dir.filePath("results.sqlite").toStdString());
    selftest::RunRecord run = Run("KZB000001", "2026-12-09T08:00:00Z");
    run.id = "3f2b5c1e-0000-4000-8000-000000000001";
    QCOMPARE(store.value()->Save(run).value(), run.id);
    run.verdict = selftest::Verdict::Pass;
    QCOMPARE(store.value()->Save(run).value(), run.id);
    auto runs = store.value()->Runs({}).value();
    QCOMPARE(runs.size(), size_t{1});
    QCOMPARE(std::string(selftest::VerdictName(runs[0].verdict)), std::string("FAIL"));
    QVERIFY(store.value()->Forget(run.id));
    QVERIFY(store.value()->Runs({}).value().empty());
  }

  // The line's outbox: the runs not on the line, in the order they were tested (a held run
  // stored late still goes first), each marked once.
  void theOutboxKeepsTheOrderOfTesting() {
    QTemporaryDir dir;
    auto store = results::ResultsStore::Open(dir.filePath("results.sqlite").toStdString());
    for (const char* started :
         {"2026-12-09T08:00:02Z", "2026-12-09T08:00:01Z", "2026-12-09T08:00:03Z"}) {
      QVERIFY(store.value()->Save(Run(started, started)));
    }
    auto waiting = store.value()->Waiting(2).value();
    QCOMPARE(waiting.size(), size_t{2});
    QCOMPARE(waiting[0].info.serial, std::string("2026-12-09T08:00:01Z"));
    QCOMPARE(waiting[1].info.serial, std::string("2026-12-09T08:00:02Z"));
    QVERIFY(store.value()->MarkUploaded({waiting[0].id}, "2026-12-09T09:00:00Z", 0.5));
    QVERIFY(store.value()->MarkUploaded({waiting[0].id}, "2026-12-09T09:00:01Z", 0.5));
    QCOMPARE(store.value()->CountWaiting().value(), 2);
    QCOMPARE(store.value()->Waiting(0).value()[0].info.serial, std::string("2026-12-09T08:00:02Z"));
  }

  // A run the line refused waits aside, named with the line's words, while the runs behind it
  // go; released, it waits again in its place.
  void aRefusedRunWaitsAsideUntilReleased() {
    QTemporaryDir dir;
    auto store = results::ResultsStore::Open(dir.filePath("results.sqlite").toStdString());
    for (const char* started : {"2026-12-09T08:00:01Z", "2026-12-09T08:00:02Z"}) {
      QVERIFY(store.value()->Save(Run(started, started)));
    }
    const std::string refused = store.value()->Waiting(1).value()[0].id;
    QVERIFY(store.value()->SetAside(refused, "value too long", "2026-12-09T09:00:00Z"));
    QCOMPARE(store.value()->CountWaiting().value(), 1);
    QCOMPARE(store.value()->Waiting(0).value()[0].info.serial, std::string("2026-12-09T08:00:02Z"));
    QCOMPARE(store.value()->WaitingNames().value().size(), size_t{1});
    const auto aside = store.value()->SetAsideRuns().value();
    QCOMPARE(aside.size(), size_t{1});
    QCOMPARE(aside[0].serial, std::string("2026-12-09T08:00:01Z"));
    QCOMPARE(aside[0].reason, std::string("value too long"));
    QCOMPARE(store.value()->ReleaseSetAside().value(), 1);
    QCOMPARE(store.value()->Waiting(0).value()[0].id, refused);
    QVERIFY(store.value()->SetAsideRuns().value().empty());
  }

  // The kind of the line's refusals, from the SQLSTATE: the run's own (its data, a constraint,
  // the server's raise) set aside; the role's and the connection's keep every run waiting.
  void theLinesRefusalsHaveTheirKinds_data() {
    using Cause = base::Failure::Cause;
    QTest::addColumn<QString>("sqlState");
    QTest::addColumn<int>("cause");
    QTest::newRow("string too long") << "22001" << int(Cause::LineRunRefused);
    QTest::newRow("unique violation") << "23505" << int(Cause::LineRunRefused);
    QTest::newRow("check violation") << "23514" << int(Cause::LineRunRefused);
    QTest::newRow("raise") << "P0001" << int(Cause::LineRunRefused);
    QTest::newRow("no grant") << "42501" << int(Cause::LineNoGrant);
    QTest::newRow("statement timeout") << "57014" << int(Cause::LineNoAnswer);
    QTest::newRow("connection failure") << "08006" << int(Cause::LineNoAnswer);
    QTest::newRow("admin shutdown") << "57P01" << int(Cause::LineNoAnswer);
    QTest::newRow("no table") << "42P01" << int(Cause::LineNoSchema);
    QTest::newRow("syntax") << "42601" << int(Cause::Other);
    QTest::newRow("none") << "" << int(Cause::Other);
  }
  void theLinesRefusalsHaveTheirKinds() {
    QFETCH(QString, sqlState);
    QFETCH(int, cause);
    QCOMPARE(int(results::CauseOfSqlState(sqlState.toStdString())), cause);
  }

  // Reading creates nothing: no folder, no file; what exists is read as it is.
  void readingCreatesNothing() {
    QTemporaryDir dir;
    const QString missing = dir.filePath("misspelt/results.sqlite");
    auto refused = results::ResultsStore::OpenForReading(missing.toStdString());
    QVERIFY(!refused);
    QCOMPARE(refused.failure().reason, std::string("no such database"));
    QVERIFY(!QFileInfo::exists(dir.filePath("misspelt")));
    const std::string path = dir.filePath("results.sqlite").toStdString();
    QVERIFY(results::ResultsStore::Open(path).value()->Save(Run("KZB1", "2026-12-09T08:00:00Z")));
    auto reader = results::ResultsStore::OpenForReading(path);
    QVERIFY(reader);
    QCOMPARE(reader.value()->Runs({}).value().size(), size_t{1});
    QVERIFY(!reader.value()->Save(Run("KZB2", "2026-12-09T09:00:00Z")));
  }

  void sinceTakesOnlyRealTimes_data() {
    QTest::addColumn<QString>("since");
    QTest::addColumn<bool>("taken");
    QTest::newRow("a date") << "2026-12-09" << true;
    QTest::newRow("a UTC time") << "2026-12-09T08:00:00Z" << true;
    QTest::newRow("a short day") << "2026-12-9" << false;
    QTest::newRow("no such day") << "2026-02-30" << false;
    QTest::newRow("a word") << "yesterday" << false;
    QTest::newRow("a local time") << "2026-12-09T08:00:00" << false;
  }
  void sinceTakesOnlyRealTimes() {
    QFETCH(QString, since);
    QFETCH(bool, taken);
    QCOMPARE(results::IsSinceTime(since.toStdString()), taken);
  }

  // The first schema's measurements had to have a value: its runs stay, and a figure that
  // could not be measured is kept from then on.
  void aDatabaseOfTheFirstSchemaIsUpgradedKeepingItsRuns() {
    QTemporaryDir dir;
    const QString path = dir.filePath("results.sqlite");
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "first");
      db.setDatabaseName(path);
      QVERIFY(db.open());
      QSqlQuery q(db);
      for (const char* statement :
           {"CREATE TABLE runs (id TEXT PRIMARY KEY, serial TEXT NOT NULL, station TEXT NOT "
            "NULL, operator TEXT NOT NULL, version TEXT NOT NULL, card_library TEXT NOT NULL, "
            "card TEXT NOT NULL, profile TEXT NOT NULL, profile_checksum TEXT NOT NULL, "
            "started TEXT NOT NULL, ended TEXT NOT NULL, duration_s REAL NOT NULL, "
            "verdict TEXT NOT NULL, why_not TEXT NOT NULL)",
            "CREATE TABLE checks (run_id TEXT NOT NULL, position INTEGER NOT NULL, name TEXT "
            "NOT NULL, passed INTEGER NOT NULL, measured TEXT NOT NULL, limits TEXT NOT NULL, "
            "detail TEXT NOT NULL, PRIMARY KEY (run_id, position))",
            "CREATE TABLE measurements (run_id TEXT NOT NULL, check_position INTEGER NOT "
            "NULL, position INTEGER NOT NULL, name TEXT NOT NULL, value REAL NOT NULL, unit "
            "TEXT NOT NULL, low REAL, high REAL, passed INTEGER NOT NULL, PRIMARY KEY "
            "(run_id, check_position, position))",
            "INSERT INTO runs VALUES ('r1', 'KZB000001', 's', 'o', '1.0', 'l', 'c', 'p', "
            "'x', '2026-12-01T08:00:00Z', '2026-12-01T08:00:05Z', 5, 'PASS', '')",
            "INSERT INTO checks VALUES ('r1', 0, 'dynamic', 1, '', '', '')",
            "INSERT INTO measurements VALUES ('r1', 0, 0, 'channel 64 SNR', 85.2, 'dB', 80, "
            "NULL, 1)",
            "PRAGMA user_version = 1"}) {
        QVERIFY2(q.exec(statement), statement);
      }
      db.close();
    }
    QSqlDatabase::removeDatabase("first");
    auto store = results::ResultsStore::Open(path.toStdString());
    QVERIFY(store);
    QVERIFY(store.value()->Save(Run("KZB000002", "2026-12-09T08:00:00Z")));
    const auto runs = store.value()->Runs({}).value();
    QCOMPARE(runs.size(), size_t{2});
    QCOMPARE(runs[0].checks[0].measurements[0].value, std::optional(85.2));
    QVERIFY(!runs[1].checks[0].measurements[2].value);
  }

  void aLockedDatabaseRefusesTheRunWholeThenTakesIt() {
    QTemporaryDir dir;
    const QString path = dir.filePath("results.sqlite");
    auto store = results::ResultsStore::Open(path.toStdString());
    QVERIFY(store);
    {
      QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
      other.setDatabaseName(path);
      QVERIFY(other.open());
      QVERIFY(QSqlQuery(other).exec("BEGIN EXCLUSIVE"));  // another program holding it
      const auto refused = store.value()->Save(Run("KZB000001", "2026-12-09T08:00:00Z"));
      QVERIFY(!refused);
      QVERIFY(QString::fromStdString(refused.failure().reason).contains("locked"));
      QCOMPARE(refused.failure().cause, base::Failure::Cause::DatabaseBusy);
      QVERIFY(QSqlQuery(other).exec("ROLLBACK"));
      other.close();
    }
    QSqlDatabase::removeDatabase("other");
    QCOMPARE(store.value()->Runs({}).value().size(), size_t{0});  // nothing of it half kept
    QVERIFY(store.value()->Save(Run("KZB000001", "2026-12-09T08:00:00Z")));
    QCOMPARE(store.value()->Runs({}).value().size(), size_t{1});
  }

  // A run the locked database refuses is held beside it, and the next start stores it and
  // leaves no held file behind.
  void aRefusedRunIsHeldAndStoredAtTheNextStart() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("results.sqlite").toStdString();
    QVERIFY(results::ResultsStore::Open(path));
    production::KeptRun kept(Run("KZB000001", "2026-12-09T08:00:00Z"));
    kept.run.id = "held-run";
    {
      QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "holder");
      other.setDatabaseName(QString::fromStdString(path));
      QVERIFY(other.open());
      QVERIFY(QSqlQuery(other).exec("BEGIN EXCLUSIVE"));
      production::Places places;
      places.database = path;
      places.holdWhenRefused = true;
      production::Keep(kept, places);
      QVERIFY(QSqlQuery(other).exec("ROLLBACK"));
      other.close();
    }
    QSqlDatabase::removeDatabase("holder");
    QVERIFY(!kept.stored.done);
    QVERIFY2(kept.held.done, kept.held.failure.c_str());
    QCOMPARE(production::CountHeld(path), 1);
    std::optional<base::Failure> why;
    QCOMPARE(production::StoreHeld(path, why), 0);
    QVERIFY(!QFileInfo::exists(QString::fromStdString(production::HeldRunsPath(path))));
    QCOMPARE(results::ResultsStore::Open(path).value()->Runs({}).value().size(), size_t{1});
  }

  // A report's name keeps the serial's letters of any script and replaces only what a file
  // name cannot hold or would hide.
  void aReportNameKeepsWhatAFileNameMayHold_data() {
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "KZB-0001.a_b"
                           << "KZB-0001.a_b";
    QTest::newRow("Chinese") << "板卡七号 A"
                             << "板卡七号 A";
    QTest::newRow("forbidden") << "a/b\\c<d>e:f\"g|h?i*j"
                               << "a_b_c_d_e_f_g_h_i_j";
    QTest::newRow("a leading dot") << "..hidden"
                                   << "_.hidden";
    QTest::newRow("controls") << "A\tB\x7f\u0085C"
                              << "A_B__C";
    QTest::newRow("a direction mark") << "KZB\u202Egpj.exe"
                                      << "KZB_gpj.exe";
    QTest::newRow("40 characters, not bytes")
        << QString(45, QChar(0x677F)) << QString(40, QChar(0x677F));
  }
  void aReportNameKeepsWhatAFileNameMayHold() {
    QFETCH(QString, serial);
    QFETCH(QString, name);
    selftest::RunRecord run;
    run.info.serial = serial.toStdString();
    run.info.startedIso8601 = "2026-12-09T08:00:00Z";
    run.id = "id";
    QCOMPARE(QString::fromStdString(production::ReportName(run)),
             name + "-20261209T080000Z-id.json");
  }

  // The station's uploader and its worker open a new database at the same moment, and
  // write at once: its schema is made once, and a writer waits for the other.
  void programsOpeningANewDatabaseAtOnceAllKeepTheirRuns() {
    QTemporaryDir dir;
    results::ResultsStore::LoadDriver();
    for (int round = 0; round < 10; ++round) {
      const std::string path = dir.filePath(QString("%1/results.sqlite").arg(round)).toStdString();
      std::vector<std::thread> openers;
      std::atomic<int> kept{0};
      for (int i = 0; i < 4; ++i) {
        openers.emplace_back([&, i] {
          auto store = results::ResultsStore::Open(path);
          if (!store) {
            qWarning("open: %s", store.failure().reason.c_str());
            return;
          }
          auto saved =
              store.value()->Save(Run("KZB00000" + std::to_string(i), "2026-12-09T08:00:00Z"));
          if (saved) {
            ++kept;
          } else {
            qWarning("save: %s", saved.failure().reason.c_str());
          }
        });
      }
      for (std::thread& opener : openers) opener.join();
      QCOMPARE(kept.load(), 4);
    }
  }

  void whatIsNoResultsDatabaseIsRefused() {
    QTemporaryDir dir;
    const QString garbage = dir.filePath("garbage.sqlite");
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    auto refused = results::ResultsStore::Open(garbage.toStdString());
    QVERIFY(!refused);
    QVERIFY(QString::fromStdString(refused.failure().reason).contains("not a database"));
    QCOMPARE(refused.failure().cause, base::Failure::Cause::NotADatabase);
    QFile again(garbage);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), QByteArray(4096, 'x'));

    const QString newer = dir.filePath("newer.sqlite");
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "newer");
      db.setDatabaseName(newer);
      QVERIFY(db.open());
      QVERIFY(QSqlQuery(db).exec("PRAGMA user_version = 99"));
      db.close();
    }
    QSqlDatabase::removeDatabase("newer");
    refused = results::ResultsStore::Open(newer.toStdString());
    QVERIFY(!refused);
    QVERIFY(QString::fromStdString(refused.failure().reason).contains("newer program"));
    QCOMPARE(refused.failure().cause, base::Failure::Cause::DatabaseNewer);

    refused = results::ResultsStore::Open(dir.filePath("garbage.sqlite/x.sqlite").toStdString());
    QVERIFY(!refused);
    QCOMPARE(refused.failure().reason, std::string("its folder cannot be made"));
    QCOMPARE(refused.failure().cause, base::Failure::Cause::FolderNotMade);
  }
};

QTEST_GUILESS_MAIN(ResultsStoreTest)
#include "ResultsStoreTest.moc"

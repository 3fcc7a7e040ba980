// The production station on the simulated card's own clock: a scanned serial and Enter run
// the test and show its verdict; a refused serial runs nothing; every run is stored with its
// report, and a database that cannot take it loses nothing.
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <ctime>

#include "ProgramFolders.h"
#include "StationFixture.h"
#include "StationText.h"

class StationWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void aScannedCardPassesOrFailsAndIsKept() {
    Station s;
    s.Scan("KZB000001");
    QVERIFY2(s.Banner().startsWith("通过"), qPrintable(s.Banner()));
    auto* checks = s.window->findChild<QTreeWidget*>("lstChecks");
    QCOMPARE(checks->topLevelItemCount(), 6);
    for (int i = 0; i < checks->topLevelItemCount(); ++i) {
      QCOMPARE(checks->topLevelItem(i)->text(1), QString("通过"));
    }
    SimCard_SetTone(63, 40, 4, 30, -90, -96);  // a noisy converter
    s.Scan("KZB000002");
    QVERIFY2(s.Banner().startsWith("失败") && s.Banner().contains("动态指标"),
             qPrintable(s.Banner()));
    const QTreeWidgetItem* dynamic = checks->findItems("动态指标", Qt::MatchExactly)[0];
    QVERIFY2(dynamic->text(2).startsWith("通道64 SNR ") && dynamic->text(3).startsWith("≥ "),
             qPrintable(dynamic->text(2) + " | " + dynamic->text(3)));
    QCOMPARE(s.window->findChild<QLabel*>("lblToday")->text(),
             QString("今日: 2 次，2 块板卡，一次通过率 50.0%，最终合格率 50.0%"));
    const auto runs = s.Stored();
    QCOMPARE(runs.size(), size_t{2});
    QCOMPARE(runs[1].info.serial, std::string("KZB000002"));
    QCOMPARE(runs[1].info.station, std::string("工位3"));
    QCOMPARE(std::string(selftest::VerdictName(runs[1].verdict)), std::string("FAIL"));
    const QDir reports(s.dir.filePath("results/reports"));
    QCOMPARE(reports.entryList(QDir::Files).size(), 2);
    // Numbers with a point whatever the locale (a test run sets a comma one).
    QFile report(reports.filePath(reports.entryList(QDir::Files)[0]));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QString json = QString::fromUtf8(report.readAll());
    QVERIFY2(json.contains(QRegularExpression("\"value\": -?\\d+\\.\\d")) &&
                 !json.contains(QRegularExpression("\\d,\\d")),
             qPrintable(json.left(600)));
  }

  // A line that cannot be reached is said in its own line and costs the test nothing; a
  // station without a [line] shows none.
  void theLineIsSaidAndNeverHoldsUpATest() {
    QVERIFY(Station().window->findChild<QLabel*>("lblLine")->isHidden());
    // A service no service file defines: libpq refuses it at once, with no network to wait for.
    Station s(ADCARD_PATH, "[line]\nservice = kzb7310-no-such-service\ndatabase = kzb7310\n");
    auto* line = s.window->findChild<QLabel*>("lblLine");
    QVERIFY(!line->isHidden());
    QVERIFY2(!line->text().contains("已同步"), qPrintable(line->text()));  // never reached yet
    s.Scan("KZB000001");
    QVERIFY2(s.Banner().startsWith("通过"), qPrintable(s.Banner()));
    QTRY_VERIFY2_WITH_TIMEOUT(line->text().startsWith("全线: 无法连接 "), qPrintable(line->text()),
                              20000);
    QCOMPARE(s.Stored().size(), size_t{1});
    // A window narrower than the state cuts it with an ellipsis; the tooltip holds it whole.
    s.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(s.window.get()));
    s.window->resize(260, 720);
    QTRY_VERIFY2(line->text().endsWith("…"), qPrintable(line->text()));
    QVERIFY(QFontMetrics(line->font()).horizontalAdvance(line->text()) <= line->width());
    QVERIFY2(line->toolTip().startsWith("全线: 无法连接 ") &&
                 line->toolTip().contains("kzb7310-no-such-service"),
             qPrintable(line->toolTip()));
  }

  // Each state of the line in its own words: not reached yet, no answer, a refused run named.
  void theLineSaysEachState_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("text");
    using State = production::LineStatus::State;
    QTest::newRow("connecting") << int(State::Connecting) << false << "全线: 连接中…，待上传 2 次";
    QTest::newRow("no answer") << int(State::NoAnswer) << false
                               << "全线: 无应答，待上传 2 次 全线数据库服务器没有应答 (no answer)";
    QTest::newRow("a run refused")
        << int(State::Synced) << true << "全线: 已同步；全线拒收 1 次: KZB000009 (serial refused)";
  }
  void theLineSaysEachState() {
    QFETCH(int, state);
    QFETCH(bool, refused);
    QFETCH(QString, text);
    production::LineStatus status;
    status.state = production::LineStatus::State(state);
    status.waiting = 2;
    status.reason = "no answer";
    status.cause = base::Failure::Cause::LineNoAnswer;
    if (refused)
      status.setAside.push_back({"KZB000009", "run id", "started", "serial refused", ""});
    bool off = false;
    QCOMPARE(LineText(status, off), text);
    QCOMPARE(off, state == int(production::LineStatus::State::NoAnswer) || refused);
  }

  void aRefusedSerialRunsNothing_data() {
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("banner");
    QTest::newRow("empty") << ""
                           << "请先扫描序列号"
                           << "请扫描序列号";
    QTest::newRow("not the pattern") << "KZB12345"
                                     << "不符合格式 KZB[0-9]{6}"
                                     << "未测试  KZB12345\n不符合格式 KZB[0-9]{6}";
    // Repeated shortened: 40 characters, then an ellipsis.
    QTest::newRow("too long") << QString(300, 'K') << "序列号 " + QString(40, 'K') + "… 超过"
                              << "未测试  " + QString(40, 'K') + "…\n超过";
  }
  void aRefusedSerialRunsNothing() {
    QFETCH(QString, serial);
    QFETCH(QString, message);
    QFETCH(QString, banner);
    Station s;
    const int before = SimCard_CallCount("StartIntr");
    s.Scan(serial);
    QVERIFY2(s.Message().contains(message), qPrintable(s.Message()));
    QCOMPARE(SimCard_CallCount("StartIntr"), before);
    QVERIFY2(s.Banner().startsWith(banner), qPrintable(s.Banner()));
  }

  // A scanner that sends a second serial during a test: it replaces the first in the field
  // and waits; only the first card is tested.
  void aSecondSerialDuringATestWaits() {
    Station s;
    auto* field = s.window->findChild<QLineEdit*>("txtSerial");
    field->setText("KZB000009");
    emit field->returnPressed();
    QTest::keyClicks(field, "KZB000010");
    emit field->returnPressed();
    QVERIFY2(s.Message().contains("序列号 KZB000010 未开始"), qPrintable(s.Message()));
    s.window->WaitForTest();
    QCOMPARE(s.Stored().size(), size_t{1});
    // At its end the banner and the field speak of the card tested; the other is still named.
    QCOMPARE(field->text(), QString("KZB000009"));
    QVERIFY2(s.Banner().startsWith("通过  KZB000009"), qPrintable(s.Banner()));
    QVERIFY2(s.Message().contains("序列号 KZB000010 在测试中扫描，未测试"),
             qPrintable(s.Message()));
  }

  // The check list clicked to read a failure: the next scan and its Enter still test a card.
  // A refused scan takes the banner from the last card's verdict.
  void aScanLandsWhereverTheFocusIs() {
    Station s;
    s.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(s.window.get()));
    s.Scan("KZB000021");
    auto* checks = s.window->findChild<QTreeWidget*>("lstChecks");
    QTest::mouseClick(checks->viewport(), Qt::LeftButton, {}, {20, 10});
    QCOMPARE(s.window->focusWidget(), checks);
    for (const char c : std::string("KZB000022")) QTest::keyClick(s.window->focusWidget(), c);
    QTest::keyClick(s.window->focusWidget(), Qt::Key_Return);  // the scanner's Enter
    s.window->WaitForTest();
    QVERIFY2(s.Banner().startsWith("通过  KZB000022"), qPrintable(s.Banner()));
    QCOMPARE(s.Stored().size(), size_t{2});
    s.Scan("KZB12345");
    QVERIFY2(s.Banner().startsWith("未测试  KZB12345"), qPrintable(s.Banner()));
  }

  // A database that cannot take the run: its banner says so, the report is written, a copy
  // is held beside the database and stored first once it can be, across a restart too.
  void aDatabaseThatCannotTakeTheRunLosesNothing() {
    Station s;
    QVERIFY(QDir().mkpath(s.dir.filePath("results")));
    QFile damaged(s.dir.filePath("results/results.sqlite"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, 'x'));
    damaged.close();
    s.Scan("KZB000003");
    QVERIFY2(s.Banner().startsWith("通过") && s.Banner().endsWith("结果未保存"),
             qPrintable(s.Banner()));
    QVERIFY2(s.Message().contains("结果未存入数据库") && s.Message().contains("报告已保存") &&
                 s.Message().contains("1 次测试的结果暂存在"),
             qPrintable(s.Message()));
    s.Scan("KZB000004");
    QVERIFY2(s.Message().contains("2 次测试的结果暂存在"), qPrintable(s.Message()));
    QCOMPARE(QDir(s.dir.filePath("results/reports")).entryList(QDir::Files).size(), 2);
    // The station closed and the database mended: the next start stores both, in order.
    s.window.reset();
    QVERIFY(damaged.remove());
    s.window = std::make_unique<StationWindow>(ADCARD_PATH, StationProfile(), s.time.clock);
    s.window->WaitForTest();
    const auto runs = s.Stored();
    QCOMPARE(runs.size(), size_t{2});
    QCOMPARE(runs[0].info.serial, std::string("KZB000003"));
    QVERIFY(!QFileInfo::exists(QString::fromStdString(
        production::HeldRunsPath(s.dir.filePath("results/results.sqlite").toStdString()))));
  }

  // Closing with runs held asks first; No keeps the station open.
  void closingWithHeldRunsAsksFirst() {
    Station s;
    QVERIFY(QDir().mkpath(s.dir.filePath("results/results.sqlite")));  // a folder: no database
    s.Scan("KZB000011");
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
      QString asked;
      QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        asked = box->text();
        box->button(answer)->click();
      });
      QCOMPARE(s.window->close(), answer == QMessageBox::Yes);
      QVERIFY2(asked.contains("1 次测试的结果尚未存入数据库"), qPrintable(asked));
    }
  }

  // The same card again is a retest, marked; an aborted run is 中止, not a failure; a serial
  // of any length never widens the window. Every run has a report of its own.
  void retestsAbortsAndLongSerials() {
    Station s;
    s.window->show();
    const int width = s.window->width();
    s.Scan("KZB000012");
    s.Scan("KZB000012");
    auto* recent = s.window->findChild<QTableWidget*>("tblRecent");
    QCOMPARE(recent->item(0, 2)->text(), QString("通过 (复测)"));
    QCOMPARE(QDir(s.dir.filePath("results/reports")).entryList(QDir::Files).size(), 2);
    auto* field = s.window->findChild<QLineEdit*>("txtSerial");
    field->setText("KZB000013");
    // The run held at its first sleep, so that the stop lands in its middle however busy the
    // machine: on the card's own clock it would otherwise be over at once.
    s.time.held = true;
    emit field->returnPressed();
    s.window->StopTest();
    s.time.held = false;
    s.window->WaitForTest();
    QVERIFY2(s.Banner().startsWith("中止"), qPrintable(s.Banner()));
    auto* checks = s.window->findChild<QTreeWidget*>("lstChecks");
    QVERIFY(!checks->findItems("中止", Qt::MatchExactly, 1).isEmpty());
    QVERIFY(checks->findItems("失败", Qt::MatchExactly, 1).isEmpty());
    QVERIFY2(s.window->findChild<QLabel*>("lblToday")->text().endsWith("复测 1 块，中止 1 次"),
             qPrintable(s.window->findChild<QLabel*>("lblToday")->text()));
    s.Scan(QString(300, 'K'));
    QCoreApplication::processEvents();
    QCOMPARE(s.window->width(), width);
  }

  // A pass after an aborted run of the same card is its first verdict: no mark, no retest in
  // the day's yield; the next verdict is both.
  void aRetestIsMarkedWhenTheYieldCountsIt() {
    Station s;
    auto* field = s.window->findChild<QLineEdit*>("txtSerial");
    field->setText("KZB000031");
    s.time.held = true;  // held at its first sleep, so that the stop lands in its middle
    emit field->returnPressed();
    s.window->StopTest();
    s.time.held = false;
    s.window->WaitForTest();
    auto* recent = s.window->findChild<QTableWidget*>("tblRecent");
    auto* today = s.window->findChild<QLabel*>("lblToday");
    s.Scan("KZB000031");
    QCOMPARE(recent->item(0, 2)->text(), QString("通过"));
    QVERIFY2(!today->text().contains("复测"), qPrintable(today->text()));
    s.Scan("KZB000031");
    QCOMPARE(recent->item(0, 2)->text(), QString("通过 (复测)"));
    QVERIFY2(today->text().contains("复测 1 块"), qPrintable(today->text()));
  }

  // A disk that takes nothing: the run is held, no card is tested until it is kept, and
  // the next scan after the fault is cleared keeps it first.
  void aRunNothingCanKeepIsHeldUntilItCanBe() {
    Station s;
    QFile blocker(s.dir.filePath("blocker"));  // a file where the folder should be
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("KZB_RESULTS_DB", s.dir.filePath("blocker/results.sqlite").toUtf8());
    s.Scan("KZB000004");
    QVERIFY(s.Banner().startsWith("通过"));
    QVERIFY2(s.Message().contains("1 次测试的结果未能保存"), qPrintable(s.Message()));
    const int started = SimCard_CallCount("StartIntr");
    s.Scan("KZB000005");
    QVERIFY(s.Banner().startsWith("结果未保存"));
    QVERIFY2(s.Message().contains("序列号 KZB000005 未开始测试"), qPrintable(s.Message()));
    QCOMPARE(SimCard_CallCount("StartIntr"), started);
    QVERIFY(blocker.remove());
    s.Scan("KZB000005");
    QVERIFY2(s.Banner().startsWith("通过") && s.Message().isEmpty(), qPrintable(s.Message()));
    auto store =
        results::ResultsStore::Open(s.dir.filePath("blocker/results.sqlite").toStdString());
    const auto runs = store.value()->Runs({}).value();
    QCOMPARE(runs.size(), size_t{2});
    QCOMPARE(runs[0].info.serial, std::string("KZB000004"));
    QCOMPARE(QDir(s.dir.filePath("blocker/reports")).entryList(QDir::Files).size(), 2);
  }

  // The day's count follows the operator's clock: a run a minute after local midnight is
  // today's and one a minute before is not, whatever the date is in UTC.
  void theDayIsTheOperatorsDay() {
    qputenv("TZ", "CST-8");
    tzset();
    Station s;
    const QDateTime midnight(QDate::currentDate(), QTime(0, 0));
    auto store =
        results::ResultsStore::Open(s.dir.filePath("results/results.sqlite").toStdString());
    for (int minutes : {-1, 1}) {
      selftest::RunRecord run;
      run.verdict = selftest::Verdict::Pass;
      run.info.startedIso8601 =
          midnight.addSecs(60 * minutes).toUTC().toString("yyyy-MM-ddTHH:mm:ssZ").toStdString();
      QVERIFY(store.value()->Save(run));
    }
    s.window = std::make_unique<StationWindow>(ADCARD_PATH, StationProfile(), s.time.clock);
    s.window->WaitForTest();
    qunsetenv("TZ");
    tzset();
    QCOMPARE(s.window->findChild<QLabel*>("lblToday")->text(),
             QString("今日: 1 次，1 块板卡，一次通过率 100.0%，最终合格率 100.0%"));
  }

  void aMissingCardLibraryIsSaidAtTheStart() {
    Station s("/nonexistent/libadcard.so");
    QVERIFY2(s.Message().startsWith("无法加载板卡库: /nonexistent/libadcard.so"),
             qPrintable(s.Message()));
    s.Scan("KZB000006");
    QVERIFY(s.Banner().startsWith("无法运行  KZB000006"));
    QCOMPARE(std::string(selftest::VerdictName(s.Stored().at(0).verdict)), std::string("NOT RUN"));
  }
};

QTEST_MAIN(StationWindowTest)
#include "StationWindowTest.moc"

// What the card library, the file system and the operator may do wrong, each ending with
// the window still answering and its labels saying what happened.
#include <QFile>

#include "CheckValue.h"
#include "DataFile.h"
#include "WindowFixture.h"

namespace {

// After any fault, a normal start and a delivered block must still work.
void ExpectResponsive(WindowOnSimCard& f) {
  f.window->cmdStop_Click();
  f.window->cmdStart_Click();
  QVERIFY(f.Find("cmdStop")->isEnabled());
  const QString before = f.Caption("lblBlock");
  ScriptTick({Filled(-1)});
  f.window->TimerAD_Timer();
  QCOMPARE(f.Caption("lblAD(0)"), QString("5.000"));
  QVERIFY(f.Caption("lblBlock") != before || before == " 0");
  f.window->Timer_DI_Timer();
  QVERIFY(f.Caption("lblBit").endsWith("0"));
}

}  // namespace

class FaultInjectionTest : public QObject {
  Q_OBJECT

 private slots:
  void refusals_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("error");
    for (const char* entry : {"Initial", "StartIntr"}) {
      for (int error : {1, -3, 32767, -32768, 2147483647}) {
        QTest::addRow("%s %d", entry, error) << entry << error;
      }
    }
  }
  void refusals() {
    QFETCH(QString, entry);
    QFETCH(int, error);
    WindowOnSimCard f;
    SimCard_FailNext(entry.toLatin1().constData(), error);
    f.window->cmdStart_Click();
    QCOMPARE(f.Caption("lblBlock"), "Error=" + QString::number(error));
    QVERIFY(f.Find("cmdStart")->isEnabled());
    ExpectResponsive(f);
  }

  void strangeCounts_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("counter");
    QTest::newRow("0") << 0 << "Label2";
    QTest::newRow("-1") << -1 << "-1";
    QTest::newRow("-32768") << -32768 << "-32768";
    QTest::newRow("767") << 767 << " 767";
    QTest::newRow("768") << 768 << " 768";
    QTest::newRow("32001") << 32001 << " 0";
    QTest::newRow("32767") << 32767 << " 0";
  }
  void strangeCounts() {
    QFETCH(int, count);
    QFETCH(QString, counter);
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    SimCard_ScriptQuery(static_cast<int16_t>(count));  // every fetch finds nothing
    f.window->TimerAD_Timer();
    QCOMPARE(f.Caption("lblBlock"), counter);
    QCOMPARE(SimCard_CallCount("ADResult"), std::max(count, 0));
    QCOMPARE(f.window->dll().RingWritePos, 0);
    ExpectResponsive(f);
  }

  void everyFetchFailing() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    f.Find<QCheckBox>("chkSaveData")->setChecked(true);
    for (int tick = 0; tick < 5; ++tick) {
      SimCard_ScriptQuery(3);
      for (int status : {0, -1, 2}) SimCard_ScriptFetch(status, Filled(123).data());
      f.window->TimerAD_Timer();
    }
    QCOMPARE(f.Caption("lblBlock"), QString(" 15"));
    QCOMPARE(f.Caption("lblptr"), QString(" 0"));
    QCOMPARE(f.Caption("lblInfo"), QString("当前状态"));
    QVERIFY(QDir(f.dataDir.path()).isEmpty());
    ExpectResponsive(f);
  }

  void blocksBeforeAnyStart() {
    WindowOnSimCard f;
    for (int count : {1, 767, 32767, -5}) {
      SimCard_ScriptQuery(static_cast<int16_t>(count));
      f.window->TimerAD_Timer();
    }
    QCOMPARE(SimCard_CallCount("ADResult"), 0);
    QCOMPARE(f.Caption("lblBlock"), QString("Label2"));
    ExpectResponsive(f);
  }

  void silentInputs() {
    WindowOnSimCard f;
    SimCard_SetInputsSilent(1);
    for (int i = 0; i < 3; ++i) f.window->Timer_DI_Timer();
    QCOMPARE(f.Caption("lblDI"), QString("0  0"));
    QCOMPARE(f.Caption("lblDI_1"), QString("0      0   0   0   0   0   0   0   0"));
  }

  void stopTwiceAndExitWhileAcquiring() {
    WindowOnSimCard f;
    f.window->show();
    f.window->cmdStart_Click();
    f.window->cmdStop_Click();
    f.window->cmdStop_Click();
    QVERIFY(f.Find("cmdStart")->isEnabled());
    QVERIFY(!f.Find("cmdStop")->isEnabled());
    f.window->cmdStart_Click();
    const int stops = SimCard_CallCount("StopIntr");
    f.window->cmdExit_Click();
    QCOMPARE(SimCard_CallCount("StopIntr"), stops + 2);
    QVERIFY(!f.window->isVisible());
  }

  // File-system faults: each shows a clear status, acquisition goes on, and saving resumes
  // once the fault is gone.
  void directoryMissing() {
    WindowOnSimCard f;
    const QString dir = f.dataDir.path();
    QVERIFY(QDir(dir).removeRecursively());
    SaveOneFileExpectingFailure(f);
    QVERIFY(QDir().mkpath(dir));
    SaveOneFileExpectingSuccess(f);
  }

  void regularFileInTheWay() {
    WindowOnSimCard f;
    const QString dir = f.dataDir.path();
    QVERIFY(QDir(dir).removeRecursively());
    QFile blocker(dir);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SaveOneFileExpectingFailure(f);
    QVERIFY(QFile::remove(dir));
    QVERIFY(QDir().mkpath(dir));
    SaveOneFileExpectingSuccess(f);
  }

  void directoryAtTheFilesName() {
    WindowOnSimCard f;
    QVERIFY(QDir().mkpath(DataFile(f.dataDir.path(), 0)));
    SaveOneFileExpectingFailure(f);
    QVERIFY(QDir().rmdir(DataFile(f.dataDir.path(), 0)));
    SaveOneFileExpectingSuccess(f);
  }
};

QTEST_MAIN(FaultInjectionTest)
#include "FaultInjectionTest.moc"

// Start-up with card identification, shutdown, and a card library that is not there.
#include <QFontDatabase>

#include "WindowFixture.h"

class LifetimeTest : public QObject {
  Q_OBJECT

 private slots:
  void identityLine_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("line");
    QTest::newRow("mixed") << QByteArray("\x0c\x22\x05\x10\x01", 5)
                           << "卡名: 12 34 类型: 1  速度: 50K  精度: 16位";
    QTest::newRow("zeros") << QByteArray(5, '\0') << "卡名: 0 0 类型: 0  速度: 0K  精度: 0位";
    QTest::newRow("all 255") << QByteArray(5, '\xff')
                             << "卡名: 255 255 类型: 255  速度: 2550K  精度: 255位";
  }
  void identityLine() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, line);
    WindowOnSimCard f(ADCARD_PATH, [&] {
      SimCard_SetIdentity(reinterpret_cast<const uint8_t*>(reply.constData()));
    });
    QCOMPARE(f.Caption("lblCardInfo"), line);
    QCOMPARE(SimCard_CallCount("IOCtl"), 1);
    QCOMPARE(LastArg("IOCtl", 0), 100);
    QCOMPARE(LastArg("IOCtl", 2), 100);
  }

  void loadSetsTheIdleState() {
    WindowOnSimCard f;
    QVERIFY(!f.Find("cmdStop")->isEnabled());
    QVERIFY(f.Find("cmdStart")->isEnabled());
    QCOMPARE(f.window->dll().RingBlockCount, int16_t{20});
    QCOMPARE(f.window->dll().RingWritePos, 0);
    QCOMPARE(f.window->values().Scale.FullScaleCount, 65535);
    QCOMPARE(f.window->values().Scale.ZeroCode, 32768);
    QCOMPARE(f.window->values().Scale.SpanVolts, 10.0f);
    QVERIFY(f.window->dll().BlockData.empty());
  }

  void exitStopsTheCardTwice() {
    WindowOnSimCard f;
    f.window->show();
    f.window->cmdStart_Click();
    const int before = SimCard_CallCount("StopIntr");
    f.Find<QPushButton>("cmdExit")->click();
    QCOMPARE(SimCard_CallCount("StopIntr"), before + 2);
    QVERIFY(!f.window->isVisible());
  }

  void closingTheWindowStopsTheCardOnce() {
    WindowOnSimCard f;
    f.window->show();
    f.window->cmdStart_Click();
    const int before = SimCard_CallCount("StopIntr");
    QVERIFY(f.window->close());
    QCOMPARE(SimCard_CallCount("StopIntr"), before + 1);
  }

  void missingLibraryOpensTheWindowAnyway() {
    WindowOnSimCard f("/nonexistent/libadcard.so");
    const QString whole = "无法加载板卡库: /nonexistent/libadcard.so";
    if (QFontDatabase::families().isEmpty()) {
      // No font to measure with (offscreen under wine): it may come out cut, whole in the tip.
      QVERIFY(f.Find<QLabel>("lblCardInfo")->toolTip().startsWith(whole));
    } else {
      QCOMPARE(f.Caption("lblCardInfo"), whole);
    }
    f.Find<QPushButton>("cmdStart")->click();  // abandoned without a message
    QVERIFY(f.Find("cmdStart")->isEnabled());
    QVERIFY(!f.Find("cmdStop")->isEnabled());
    QCOMPARE(f.Caption("lblBlock"), QString("Label2"));
    f.window->TimerAD_Timer();
    f.window->Timer_DI_Timer();
    QCOMPARE(f.Caption("lblDI_0"), QString("DI0"));
    f.Find<QPushButton>("cmdDOOutput")->click();
    f.Find<QPushButton>("cmdSWO")->click();
    f.Find<QPushButton>("cmdExit")->click();
    QVERIFY(!f.window->isVisible());
  }

  // The caption stays short; the tooltip says why, or which library answers.
  void theCardInfoTooltipNamesTheLibraryOrTheReason() {
    WindowOnSimCard simulated;
    QVERIFY(simulated.Find<QLabel>("lblCardInfo")->toolTip().startsWith("模拟板卡"));
    QVERIFY(simulated.Find<QLabel>("lblCardInfo")->toolTip().endsWith(ADCARD_PATH));
    WindowOnSimCard missing("/nonexistent/libadcard.so");
    QVERIFY(!missing.Find<QLabel>("lblCardInfo")->toolTip().isEmpty());
  }

  void aLibraryCopiedIntoPlaceIsUsedAtTheNextStart() {
    QTemporaryDir programDir;
    const QString library = programDir.filePath("libadcard.so");
    WindowOnSimCard f(library.toStdString());
    QVERIFY(f.Caption("lblCardInfo").startsWith("无法加载板卡库: "));
    QVERIFY(QFile::copy(ADCARD_PATH, library));
    f.window->cmdStart_Click();
    QVERIFY(f.Find("cmdStop")->isEnabled());
    QCOMPARE(f.Caption("lblCardInfo"), QString("卡名: 73 10 类型: 1  速度: 50K  精度: 16位"));
  }

  void missingEntryPointsFailQuietly() {
    WindowOnSimCard f(ADCARD_INCOMPLETE_PATH);
    QCOMPARE(f.Caption("lblCardInfo"), QString("卡名: 9 9 类型: 9  速度: 90K  精度: 9位"));
    f.window->cmdStart_Click();  // Initial is missing
    QVERIFY(f.Find("cmdStart")->isEnabled());
    QCOMPARE(f.Caption("lblBlock"), QString("Label2"));
    f.window->TimerAD_Timer();   // QueryBuf is missing
    f.window->Timer_DI_Timer();  // Kzb_DI is missing
    QCOMPARE(f.Caption("lblDI"), QString("00"));
  }
};

QTEST_MAIN(LifetimeTest)
#include "LifetimeTest.moc"

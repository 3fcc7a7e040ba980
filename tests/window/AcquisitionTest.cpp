// Starting and stopping acquisition, the analog tick and the summary text, on the whole
// window driven through its controls and the scripted simulated card.
#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>

#include "CheckValue.h"
#include "NumberForms.h"
#include "SummaryField.h"
#include "WindowFixture.h"

namespace {

QString InfoText(const WindowOnSimCard& f) {
  return f.Find<QPlainTextEdit>("txtInfo")->toPlainText();
}

// The summary as the window shows it, lines split at their ends.
QStringList InfoLines(const WindowOnSimCard& f) {
  return InfoText(f).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class AcquisitionTest : public QObject {
  Q_OBJECT

 private slots:
  void initialTextsGiveThreeFilesOfTenBlocks() {
    WindowOnSimCard f;
    f.Find<QPushButton>("cmdStart")->click();
    QCOMPARE(f.window->capture().SaveFileCount, int16_t{3});
    QCOMPARE(f.window->capture().BlocksPerFile, int16_t{10});
    QCOMPARE(f.Find<QLineEdit>("txtBlockNumMax")->text(), QString("20"));  // not rewritten
  }

  void saveSettingsAreClamped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("files");
    const std::pair<const char*, int> cases[] = {{"", 1},    {"abc", 1}, {"0", 1},   {"-7", 1},
                                                 {"25", 20}, {"2.5", 2}, {"3.5", 4}, {"7abc", 7}};
    for (auto [text, files] : cases) QTest::newRow(text) << QString(text) << files;
  }
  void saveSettingsAreClamped() {
    QFETCH(QString, text);
    QFETCH(int, files);
    WindowOnSimCard f;
    f.Find<QLineEdit>("txtSaveFileNum")->setText(text);
    f.Find<QLineEdit>("txtBlockNumMax")->setText(text);
    f.window->cmdStart_Click();
    QCOMPARE(f.window->capture().SaveFileCount, files);
    QCOMPARE(f.window->capture().BlocksPerFile, std::min(files, 10));
  }

  void aNumberBeyond16BitsAbandonsTheStart() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    f.window->cmdStop_Click();
    const int stops = SimCard_CallCount("StopIntr");

    f.Find<QLineEdit>("txtSaveFileNum")->setText("99999");
    f.Find<QLineEdit>("txtBlockNumMax")->setText("2");
    f.window->cmdStart_Click();
    QCOMPARE(SimCard_CallCount("StopIntr"), stops);
    QCOMPARE(SimCard_CallCount("Initial"), 1);
    QVERIFY(f.Find("cmdStart")->isEnabled());
    QVERIFY(!f.Find("cmdStop")->isEnabled());
    QCOMPARE(f.window->capture().SaveFileCount, int16_t{3});
    QCOMPARE(f.window->capture().BlocksPerFile, int16_t{10});
    QCOMPARE(f.Find("cmdStart")->toolTip(),
             QString("未开始采集: 文件个数 \"99999\" 超出 -32768 到 32767 的范围"));

    // The second field out of range: the first one's counter is already set.
    f.Find<QLineEdit>("txtSaveFileNum")->setText("5");
    f.Find<QLineEdit>("txtBlockNumMax")->setText("-1e6");
    f.window->cmdStart_Click();
    QCOMPARE(f.window->capture().SaveFileCount, int16_t{5});
    QCOMPARE(f.window->capture().BlocksPerFile, int16_t{10});
    QCOMPARE(SimCard_CallCount("StopIntr"), stops);
    QVERIFY(f.Find("cmdStart")->toolTip().contains("保存数据的块数 \"-1e6\""));

    f.Find<QLineEdit>("txtBlockNumMax")->setText("2");  // a start that goes ahead clears it
    f.window->cmdStart_Click();
    QVERIFY(f.Find("cmdStart")->toolTip().isEmpty());
  }

  void refusalsShowTheErrorNumber_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("error");
    QTest::newRow("Initial -3") << "Initial" << -3;
    QTest::newRow("Initial 0") << "Initial" << 0;
    QTest::newRow("StartIntr 77") << "StartIntr" << 77;
    QTest::newRow("StartIntr min") << "StartIntr" << int(INT32_MIN);
  }
  void refusalsShowTheErrorNumber() {
    QFETCH(QString, entry);
    QFETCH(int, error);
    WindowOnSimCard f;
    SimCard_FailNext(entry.toLatin1().constData(), error);
    f.Find<QPushButton>("cmdStart")->click();
    QCOMPARE(f.Caption("lblBlock"), "Error=" + QString::number(error));
    QVERIFY(f.Find("cmdStart")->isEnabled());
    QVERIFY(!f.Find("cmdStop")->isEnabled());
    // Past Initial the buffers are sized and cleared even when StartIntr refuses.
    QCOMPARE(f.window->dll().BlockData.size(), entry == "Initial" ? 0u : 19202u);
    QCOMPARE(SimCard_CallCount("StopIntr"), 1);  // always before Initial
  }

  void startAndStopFollowTheStateTable() {
    WindowOnSimCard f;
    auto* timer = f.window->findChild<QTimer*>("TimerAD");
    f.Find<QPushButton>("cmdStart")->click();
    QCOMPARE(LastArg("StartIntr", 4), 50000);
    QCOMPARE(f.window->dll().BlockData.size(), 19202u);
    QCOMPARE(f.window->dll().RingData.size(), 384001u);
    QVERIFY(!f.Find("cmdStart")->isEnabled());
    QVERIFY(f.Find("cmdStop")->isEnabled());
    QVERIFY(timer->isActive());
    f.Find<QPushButton>("cmdStop")->click();
    QVERIFY(f.Find("cmdStart")->isEnabled());
    QVERIFY(!f.Find("cmdStop")->isEnabled());
    QVERIFY(!timer->isActive());
    f.window->cmdStop_Click();  // a second stop is harmless
    QVERIFY(!timer->isActive());
  }

  void stopThenStartContinuesCountAndRing() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    ScriptTick({Filled(5), Filled(6), Filled(7)});
    f.window->TimerAD_Timer();
    QCOMPARE(f.Caption("lblBlock"), QString(" 3"));
    QCOMPARE(f.Caption("lblptr"), QString(" 57600"));
    f.window->cmdStop_Click();
    f.window->cmdStart_Click();
    QCOMPARE(f.window->dll().BlockData[1], int16_t{0});  // cleared
    QCOMPARE(f.window->dll().RingData[0], int16_t{0});
    ScriptTick({Filled(8)});
    f.window->TimerAD_Timer();
    QCOMPARE(f.Caption("lblBlock"), QString(" 4"));
    QCOMPARE(f.Caption("lblptr"), QString(" 76800"));
    QCOMPARE(f.window->dll().RingData[57600], int16_t{8});
  }

  void aTickWithNoBlocksChangesNothing() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    SimCard_ScriptQuery(0);
    f.window->TimerAD_Timer();
    QCOMPARE(f.Caption("lblBlock"), QString("Label2"));
    QCOMPARE(f.Caption("lblptr"), QString("Label3"));
    QCOMPARE(f.Caption("lblAD(0)"), QString("0.000"));
    QCOMPARE(InfoText(f), QString("Info"));
    QCOMPARE(SimCard_CallCount("ADResult"), 0);
  }

  void theRingWrapsAfterTwentyBlocks() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    ScriptTick({Filled(1)});
    f.window->TimerAD_Timer();
    QCOMPARE(f.Caption("lblptr"), QString(" 19200"));
    std::vector<std::vector<int16_t>> nineteen;
    for (int i = 2; i <= 20; ++i) nineteen.push_back(Filled(static_cast<int16_t>(i)));
    ScriptTick(nineteen);
    f.window->TimerAD_Timer();
    QCOMPARE(f.Caption("lblptr"), QString(" 0"));
    QCOMPARE(f.window->dll().RingData[19 * kBlockCells], int16_t{20});
    QCOMPARE(f.window->dll().RingData[384000], int16_t{0});  // the last cell is never written
  }

  void theCounterRestartsAbove32000_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("shown");
    QTest::newRow("31999 + 1") << 31999 << 1 << " 32000";
    QTest::newRow("31999 + 2") << 31999 << 2 << " 0";
    QTest::newRow("800 in one tick") << 31999 << 800 << " 0";
    QTest::newRow("negative") << 5 << -7 << "-2";
    QTest::newRow("repeated negatives") << -32768 << -32768 << " 0";
    QTest::newRow("largest count") << 32767 << 0 << " 0";
  }
  void theCounterRestartsAbove32000() {
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(QString, shown);
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    SimCard_ScriptQuery(static_cast<int16_t>(first));
    f.window->TimerAD_Timer();
    SimCard_ScriptQuery(static_cast<int16_t>(second));
    f.window->TimerAD_Timer();
    QCOMPARE(f.Caption("lblBlock"), second == 0 ? QString(" 0") : shown);
    QCOMPARE(f.Caption("lblptr"), QString(" 0"));  // no fetch delivered anything
  }

  void failedFetchesStillCount() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    ScriptTick({Filled(-1)});
    f.window->TimerAD_Timer();
    SimCard_ScriptQuery(2);
    SimCard_ScriptFetch(0, Filled(0).data());  // writes, but says it did not deliver
    SimCard_ScriptFetch(2, nullptr);
    f.Find<QCheckBox>("chkSaveData")->setChecked(true);
    f.window->TimerAD_Timer();
    QCOMPARE(f.Caption("lblBlock"), QString(" 3"));
    QCOMPARE(f.Caption("lblptr"), QString(" 19200"));
    QCOMPARE(f.Caption("lblAD(0)"), QString("-5.000"));  // computed from what the buffer holds
    QCOMPARE(f.window->capture().SaveBlockIndex, int16_t{0});  // never gathered
  }

  void negativeCountRecomputesTheValues() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    SimCard_ScriptQuery(-1);
    f.window->TimerAD_Timer();
    QCOMPARE(SimCard_CallCount("ADResult"), 0);
    QCOMPARE(f.Caption("lblBlock"), QString("-1"));
    QCOMPARE(f.Caption("lblAD(1)"), QString("-5.000"));  // a cleared buffer: code 0
    QCOMPARE(InfoLines(f).value(1), QString("Ch 0=0000   V: -5.000"));
  }

  void channelLabelsShowTheLastSample() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    const int16_t last[] = {-32768, -1, 0, 16384};
    ScriptTick(
        {Block([&](int pt, int ch) -> int16_t { return pt == 299 && ch < 4 ? last[ch] : 1000; })});
    f.window->TimerAD_Timer();
    QCOMPARE(f.Caption("lblAD(0)"), QString(".000"));
    QCOMPARE(f.Caption("lblAD(1)"), QString("5.000"));
    QCOMPARE(f.Caption("lblAD(2)"), QString("-5.000"));
    QCOMPARE(f.Caption("lblAD(3)"), QString("-2.500"));
    QCOMPARE(f.window->values().ChanCode[4], 1000);  // the averages replace the latest values
    QCOMPARE(f.window->values().ChanCode[1], (299 * 1000 + 65535 + 150) / 300);
  }

  void summaryText() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    const int16_t cells[] = {-32768, -16384, 255, 0};
    ScriptTick({Block([&](int pt, int ch) -> int16_t {
      if (ch < 4) return cells[ch];
      if (ch == 4) return pt < 150 ? 1 : 2;  // 1.5 -> 2
      if (ch == 5) return pt < 150 ? 0 : 1;  // 0.5 -> 0
      if (ch == 6) return 4095;
      return -1;  // 65535
    })});
    f.window->TimerAD_Timer();
    const QStringList lines = InfoLines(f);
    QCOMPARE(lines.size(), 65);
    QCOMPARE(lines.mid(0, 8),
             QStringList({"Sample Information:", "Ch 0=8000   V: 0.000", "Ch 1=C000   V: 2.500",
                          "Ch 2=00FF   V: -4.961", "Ch 3=0000   V: -5.000", "Ch 4=0002   V: -5.000",
                          "Ch 5=0000   V: -5.000", "Ch 6=0FFF   V: -4.375"}));
    QCOMPARE(lines.last(), QString("Ch 63=FFFF   V: 5.000"));
    QVERIFY(InfoText(f).endsWith('\n'));
  }

  void summaryFollowsTheDisplayCheckBox() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    SetCheckValue(f.Find<QCheckBox>("chkDisp"), 0);
    ScriptTick({Filled(-1)});
    f.window->TimerAD_Timer();
    QCOMPARE(InfoText(f), QString("Info"));
    QCOMPARE(f.Caption("lblBlock"), QString(" 1"));
    SetCheckValue(f.Find<QCheckBox>("chkDisp"), 2);  // greyed counts as on
    ScriptTick({Filled(-1)});
    f.window->TimerAD_Timer();
    QCOMPARE(InfoLines(f).value(64), QString("Ch 63=FFFF   V: 5.000"));
  }

  // A refresh rewrites what changed and leaves the reader where they were: scrolled down,
  // with a selection; text the operator typed in is replaced by the summary all the same.
  void theSummaryKeepsTheViewAndIsAlwaysWhole() {
    WindowOnSimCard f;
    f.window->show();
    f.window->cmdStart_Click();
    auto* info = f.Find<QPlainTextEdit>("txtInfo");
    const auto tick = [&](int16_t first) {
      ScriptTick({Block([first](int, int ch) -> int16_t { return ch == 0 ? first : -1; })});
      f.window->TimerAD_Timer();
    };
    tick(0);
    info->verticalScrollBar()->setValue(info->verticalScrollBar()->maximum());
    QTextCursor selection(info->document()->findBlockByNumber(60));
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    info->setTextCursor(selection);
    const int scrolled = info->verticalScrollBar()->value();
    tick(1000);
    QCOMPARE(InfoLines(f).value(1), QString("Ch 0=03E8   V: -4.847"));
    QCOMPARE(info->verticalScrollBar()->value(), scrolled);
    QCOMPARE(info->textCursor().selectedText(), QString("Ch 59=FFFF   V: 5.000"));
    info->insertPlainText("typed by the operator");
    tick(2000);
    QVERIFY(!InfoText(f).contains("typed"));
    QCOMPARE(InfoLines(f).size(), 65);
    QCOMPARE(InfoLines(f).value(1), QString("Ch 0=07D0   V: -4.695"));
  }

  // The summary draws its changed lines itself, pixel for pixel as a plain text field of
  // the same font and size shows the same text, wherever it is scrolled.
  void theSummaryLooksAsAPlainTextField() {
    if (QFontDatabase::families().isEmpty()) QSKIP("no font to draw text with on this platform");
    WindowOnSimCard f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.window->cmdStart_Click();
    auto* info = f.Find<SummaryField>("txtInfo");
    QPlainTextEdit plain;
    plain.setFont(info->font());
    plain.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    plain.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    plain.resize(info->size());
    for (int16_t step : {0, 1234, -20000}) {
      ScriptTick({Block([step](int pt, int ch) { return int16_t(step + 97 * ch + pt); })});
      f.window->TimerAD_Timer();
      for (int scrolled : {0, 20}) {
        info->verticalScrollBar()->setValue(scrolled);
        plain.setPlainText(info->toPlainText());
        plain.verticalScrollBar()->setValue(scrolled);
        const QImage drawn = info->viewport()->grab().toImage();
        QVERIFY(info->paintedWithoutLayout());
        QCOMPARE(drawn, plain.viewport()->grab().toImage());
      }
    }
  }

  // The program falls 32 s behind the card: the counter keeps the card's count but turns to
  // a warning colour with the lost blocks in its tooltip, and the file that was gathering
  // across the gap says so; with nothing lost, nothing changes.
  void lostBlocksAreShown() {
    WindowOnSimCard f;
    double seconds = 0;
    f.window->SetClock([&seconds] { return seconds; });
    f.Find<QLineEdit>("txtSaveFileNum")->setText("1");
    f.Find<QLineEdit>("txtBlockNumMax")->setText("10");
    f.window->cmdStart_Click();
    const QPalette normal = f.Find<QLabel>("lblBlock")->palette();
    auto run = [&](int ticks, bool polled) {
      for (int i = 0; i < ticks; ++i) {
        SimCard_AdvanceMs(200);
        seconds += 0.2;
        if (polled) f.window->TimerAD_Timer();
      }
    };
    run(150, true);  // 30 s: the card's pace is known
    QCOMPARE(f.Find<QLabel>("lblBlock")->palette(), normal);
    f.Find<QCheckBox>("chkSaveData")->setChecked(true);
    run(10, true);  // the file gathers some blocks, then the program stalls
    run(160, false);
    run(5, true);
    f.window->WaitForDataFiles();
    const int dropped = SimCard_OverrunCount();
    QVERIFY(dropped > 0);
    QCOMPARE(f.window->losses().lost(), dropped);
    QVERIFY(f.Find<QLabel>("lblBlock")->palette() != normal);
    QVERIFY(f.Find<QLabel>("lblBlock")->toolTip().contains(QString("已丢失 %1 块").arg(dropped)));
    QCOMPARE(f.Caption("lblBlock"),
             QString::fromStdString(numtext::SignedColumn(f.window->values().BlocksReceived)));
    QCOMPARE(f.Caption("lblInfo"), QString("保存数据完成!丢块"));
    QVERIFY(f.Find<QLabel>("lblInfo")->toolTip().contains("丢失"));
  }

  void blocksReportedBeforeAnyStartAreLeftAlone() {
    WindowOnSimCard f;
    SimCard_ScriptQuery(3);
    f.window->TimerAD_Timer();
    QCOMPARE(SimCard_CallCount("ADResult"), 0);
    QCOMPARE(f.Caption("lblBlock"), QString("Label2"));
    QCOMPARE(InfoText(f), QString("Info"));
  }

  void theSimulatedCardMakesTheWindowMove() {
    SimCard_Reset();
    QTemporaryDir dir;
    FrmMultiBuf window(ADCARD_PATH, dir.path().toStdString());
    window.cmdStart_Click();
    auto* lblBlock = window.findChild<QLabel*>("lblBlock");
    auto* ch1 = window.findChild<QLabel*>("lblAD(0)");
    QTRY_VERIFY_WITH_TIMEOUT(lblBlock->text() != "Label2", 3000);
    const QString first = ch1->text();
    QTRY_VERIFY_WITH_TIMEOUT(ch1->text() != first, 3000);
    QVERIFY(window.findChild<QPlainTextEdit*>("txtInfo")->toPlainText().startsWith(
        "Sample Information:\nCh 0="));
    window.cmdStop_Click();
  }
};

QTEST_MAIN(AcquisitionTest)
#include "AcquisitionTest.moc"

// The waveform window, opened from the main window and fed by its tick.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QImage>
#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QTextBlock>

#include "FrequencyPlot.h"
#include "QtTranslations.h"
#include "RecordPanel.h"
#include "RecordingPlot.h"
#include "RecordingReader.h"
#include "RecordingViewer.h"
#include "WaveformPlot.h"
#include "WaveformWindow.h"
#include "WindowFixture.h"

namespace {

// Channel 2 climbs by 100 codes a point from code 17768; every other cell holds -1 (65535).
std::vector<int16_t> RampOnChannel2() {
  return Block([](int pt, int ch) -> int16_t {
    return ch == 2 ? static_cast<int16_t>(17768 + pt * 100 - 65536 * (17768 + pt * 100 > 32767))
                   : -1;
  });
}

// The offer in the context menu opened last.
QAction* WaveformAction(QWidget* window) {
  const QList<QMenu*> menus = window->findChildren<QMenu*>();
  for (auto menu = menus.rbegin(); menu != menus.rend(); ++menu) {
    for (QAction* action : (*menu)->actions()) {
      if (action->text() == "波形显示…") return action;
    }
  }
  return nullptr;
}

}  // namespace

class WaveformWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void opensFromTheLiveValuesAndTheSummary() {
    WindowOnSimCard f;
    f.window->show();
    QVERIFY(!f.window->waveform());
    QTest::mouseDClick(f.Find<QLabel>("lblAD(2)"), Qt::LeftButton);
    QVERIFY(f.window->waveform() && f.window->waveform()->isVisible());
    QVERIFY(f.window->waveform()->traces().empty());  // no block yet: "尚无数据"

    f.window->cmdStart_Click();
    ScriptTick({RampOnChannel2()});
    f.window->TimerAD_Timer();
    auto* info = f.Find<QPlainTextEdit>("txtInfo");
    const QPoint line11 =
        info->cursorRect(QTextCursor(info->document()->findBlockByNumber(11))).center();
    emit info->customContextMenuRequested(line11);  // the line of channel 10
    QAction* open = WaveformAction(f.window.get());
    QVERIFY(open && open->isEnabled());
    open->trigger();
    QCOMPARE(f.window->waveform()->Channels(), (std::vector<int>{2, 10}));
    // The same channel again adds nothing; a third from the label's menu is added.
    QTest::mouseDClick(f.Find<QLabel>("lblAD(2)"), Qt::LeftButton);
    emit f.Find<QLabel>("lblAD(0)")->customContextMenuRequested(QPoint(2, 2));
    WaveformAction(f.window.get())->trigger();
    QCOMPARE(f.window->waveform()->Channels(), (std::vector<int>{2, 10, 0}));
    // The main window's own look stays as it is: the menu adds to the summary's own.
    QCOMPARE(f.Caption("lblAD(0)"), QString("5.000"));

    QVERIFY(f.window->close());
    QVERIFY(!f.window->waveform()->isVisible());
  }

  void tracesFollowTheTickAndFreeze() {
    WindowOnSimCard f;
    f.window->show();
    f.window->cmdStart_Click();
    f.window->OpenWaveform(2);
    ScriptTick({RampOnChannel2()});
    f.window->TimerAD_Timer();
    WaveformWindow* view = f.window->waveform();
    QCOMPARE(view->traces().size(), size_t{1});
    const acquisition::Trace& trace = view->traces()[0];
    const acquisition::VoltageScale scale = f.window->values().Scale;
    QCOMPARE(trace.volts.size(), size_t{300});
    QCOMPARE(trace.volts[0], acquisition::VoltsOfCode(17768, scale));
    QCOMPARE(trace.volts[299], acquisition::VoltsOfCode(17768 + 29900, scale));
    QCOMPARE(trace.stats.minimum, trace.volts[0]);
    QCOMPARE(trace.stats.maximum, trace.volts[299]);
    QVERIFY(!trace.stats.frequencyHz);

    // Space freezes wherever the focus is, here on a check box that keeps its state.
    QVERIFY(QTest::qWaitForWindowActive(view));
    f.Find<QCheckBox>("chkFit")->setFocus();
    QTest::keyClick(f.Find<QCheckBox>("chkFit"), Qt::Key_Space);
    QVERIFY(view->frozen());
    QVERIFY(!f.Find<QCheckBox>("chkFit")->isChecked());
    ScriptTick({Filled(0)});
    f.window->TimerAD_Timer();
    QCOMPARE(view->traces()[0].volts[0], acquisition::VoltsOfCode(17768, scale));

    const QString png = f.dataDir.filePath("view.png"), csv = f.dataDir.filePath("view.csv");
    QCOMPARE(view->SavePicture(png), QString());
    QVERIFY(!QImage(png).isNull());
    QCOMPARE(view->SaveValues(csv), QString());
    QFile values(csv);
    QVERIFY(values.open(QIODevice::ReadOnly));
    QVERIFY(values.readLine().startsWith("\xEF\xBB\xBF数据块,1,时间,20"));
    QCOMPARE(QString::fromUtf8(values.readLine()), QString("时间(ms),通道3 (Ch 2) (V)\r\n"));
    QCOMPARE(QString::fromUtf8(values.readLine()), QString("0.00,-2.28885\r\n"));
    QCOMPARE(view->findChild<QComboBox*>("cboTrace0")->currentText(), QString("通道3 (Ch 2)"));
    QCOMPARE(view->plot()->LegendArea().intersected(view->plot()->NoteArea()), QRect());

    f.Find<QPushButton>("cmdFreeze")->click();  // thaw: the next block shows
    ScriptTick({Filled(0)});
    f.window->TimerAD_Timer();
    QCOMPARE(view->traces()[0].stats.maximum, acquisition::VoltsOfCode(0, scale));
  }

  // Qt's own dialog speaks Chinese, starts in the data folder, then in the folder the
  // operator saved to last.
  void theSaveDialogIsChineseAndRemembersTheFolder() {
    QVERIFY(!InstallQtTranslations().isEmpty());
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    f.window->OpenWaveform(0);
    ScriptTick({Filled(0)});
    f.window->TimerAD_Timer();
    f.window->waveform()->SetFrozen(true);
    const QString other = f.dataDir.filePath("其它");
    QVERIFY(QDir().mkpath(other));
    QStringList startedIn, lookIn;
    const auto chooseIn = [&](const QString& folder) {
      QTimer::singleShot(0, [&, folder] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        startedIn << dialog->directory().absolutePath();
        lookIn << dialog->findChild<QLabel*>("lookInLabel")->text();
        dialog->selectFile(QDir(folder).filePath("view.csv"));
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
      });
      f.Find<QPushButton>("cmdSaveValues")->click();
    };
    chooseIn(other);
    chooseIn(f.dataDir.path());
    QCOMPARE(startedIn, QStringList({f.dataDir.path(), other}));
    QCOMPARE(lookIn.value(0), QString("查找范围："));
    QVERIFY(QFile::exists(QDir(other).filePath("view.csv")));
  }

  // The spectrum view measures off the window's thread: the simulated card's test tone on
  // channel 63 shows its figures from the last 20 blocks, and the CSV keeps them.
  void theSpectrumViewShowsTheConverterFigures() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    f.window->OpenWaveform(63);
    for (int tick = 0; tick < 20; ++tick) {
      SimCard_AdvanceMs(385);
      f.window->TimerAD_Timer();
    }
    WaveformWindow* view = f.window->waveform();
    view->findChild<QComboBox*>("cboRecord")->setCurrentIndex(1);
    view->findChild<QCheckBox*>("chkSpectrum")->setChecked(true);
    QVERIFY(view->spectrum()->isVisibleTo(view) && !view->plot()->isVisibleTo(view));
    view->WaitForSpectrum();
    QCOMPARE(view->spectrum()->recordPoints(), size_t{6000});
    QCOMPARE(view->spectrum()->figures().size(), size_t{1});
    const acquisition::AdcFigures& tone = view->spectrum()->figures()[0];
    QVERIFY(tone.sine);
    QVERIFY(std::abs(tone.fundamentalHz - 40) < 0.01);
    QVERIFY(std::abs(tone.snrDb - 85.0) < 0.5);

    view->SetFrozen(true);
    const QString csv = f.dataDir.filePath("spectrum.csv");
    QCOMPARE(view->SaveValues(csv), QString());
    QFile values(csv);
    QVERIFY(values.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(values.readAll());
    QVERIFY(text.startsWith("\uFEFF数据块,20,时间,"));
    QVERIFY(text.contains(",窗口,Blackman-Harris 7,记录点数,6000\r\n指标,通道64 (Ch 63)\r\n"));
    QVERIFY(text.contains("\r\nSNR(dB),85."));
    QVERIFY(text.contains("\r\n\r\n频率(Hz),通道64 (Ch 63) (dBFS)\r\n0.0000,"));
    QVERIFY(text.contains("\r\n\"噪声(码,有效值)\","));  // one cell, not two

    // Blocks lost: the record starts again after them, and the view says so.
    view->SetFrozen(false);
    view->SetLossNote("丢失 3 块 (最近 12:03:05)");
    SimCard_AdvanceMs(385);
    f.window->TimerAD_Timer();
    view->WaitForSpectrum();
    QCOMPARE(view->spectrum()->recordPoints(), size_t{300});
    // A block the window did not see (two in one tick) starts it again too.
    SimCard_AdvanceMs(385);
    f.window->TimerAD_Timer();
    SimCard_AdvanceMs(2 * 385);
    f.window->TimerAD_Timer();
    view->WaitForSpectrum();
    QCOMPARE(view->spectrum()->recordPoints(), size_t{300});
  }

  // A pulse on channel 10 fires a single shot: the span around it is held with the trigger
  // marked at its time from the start, nothing more fires until armed again, "等待触发…"
  // shows while armed, the span's figures come on request and the level follows the mouse.
  void aPulseFiresTheTriggerOnce() {
    WindowOnSimCard f;
    SimCard_AddPulses(9, 1.2345, 4.0, 0.05, 0.01, 3, 2.0);  // at 1.2345, 3.2345, 5.2345 s
    f.window->cmdStart_Click();
    f.window->OpenWaveform(9);
    WaveformWindow* view = f.window->waveform();
    const int64_t start = SimCard_NowMicros();
    const auto tickUntil = [&f, start](double seconds) {  // of card time from the start
      while (SimCard_NowMicros() - start < seconds * 1e6) {
        SimCard_AdvanceMs(385);
        f.window->TimerAD_Timer();
      }
    };
    tickUntil(0.3);
    QCOMPARE(view->traces().size(), size_t{1});
    const double base = view->traces()[0].stats.mean;
    view->findChild<QComboBox*>("cboTrigChannel")->setCurrentIndex(9);
    view->findChild<QDoubleSpinBox*>("spnTrigLevel")->setValue(base + 2.0);
    view->findChild<QPushButton*>("cmdSingle")->click();
    QCOMPARE(view->findChild<QComboBox*>("cboTrigMode")->currentText(), QString("单次"));
    QVERIFY(view->note().contains("等待触发…"));
    QVERIFY(view->traces().empty());  // nothing but a captured span shows

    const auto caption = [view] { return view->plot()->triggerCaption(); };
    const auto captionSeconds = [&caption] { return caption().section(' ', 1, 1).toDouble(); };
    tickUntil(2.0);
    QCOMPARE(view->triggersFired(), int64_t{1});
    QVERIFY(view->scope().holdsSpan());
    QVERIFY2(std::abs(captionSeconds() - 1.2345) < 2e-6, qPrintable(caption()));
    QVERIFY(!view->note().contains("等待触发…"));
    QCOMPARE(view->traces().size(), size_t{1});
    QVERIFY(view->traces()[0].stats.maximum > base + 3.5);  // the pulse is in the span

    tickUntil(4.0);  // the second pulse passes a spent shot by
    QCOMPARE(view->triggersFired(), int64_t{1});
    QVERIFY(view->note().contains("单次触发已完成"));
    QVERIFY(std::abs(captionSeconds() - 1.2345) < 2e-6);

    view->findChild<QPushButton*>("cmdSpanFigures")->click();
    view->WaitForSpectrum();
    QVERIFY(view->spectrumShown());
    QCOMPARE(view->spectrum()->recordPoints(), view->traces()[0].volts.size());
    view->findChild<QCheckBox*>("chkSpectrum")->setChecked(false);

    view->findChild<QPushButton*>("cmdSingle")->click();  // armed again: the span stays
    QVERIFY(view->note().contains("等待触发…"));
    QVERIFY(view->scope().holdsSpan());
    tickUntil(6.0);
    QVERIFY2(std::abs(captionSeconds() - 5.2345) < 2e-6, qPrintable(caption()));

    // Dragging the level's line sets the level; the control follows.
    view->show();
    WaveformPlot* plot = view->plot();
    const int y = plot->LevelY(0), x = plot->PlotArea().center().x();
    QVERIFY(y > 0);
    QTest::mousePress(plot, Qt::LeftButton, {}, QPoint(x, y));
    QTest::mouseMove(plot, QPoint(x, y - 30));
    QTest::mouseRelease(plot, Qt::LeftButton, {}, QPoint(x, y - 30));
    const double dragged = view->findChild<QDoubleSpinBox*>("spnTrigLevel")->value();
    QVERIFY(dragged > base + 2.2);
    QCOMPARE(plot->triggerLevels(), std::vector<double>{dragged});
  }

  // Auto shows the live block until a trigger comes, its span then, and the live blocks again
  // once a second of card time passes with none; a refused setting shows its reason over the
  // live blocks.
  void autoFallsBackToTheLiveBlocks() {
    WindowOnSimCard f;
    SimCard_AddPulses(9, 1.2345, 4.0, 0.05, 0.01, 1, 0);
    f.window->cmdStart_Click();
    const int64_t start = SimCard_NowMicros();
    f.window->OpenWaveform(9);
    WaveformWindow* view = f.window->waveform();
    const auto tickUntil = [&f, start](double seconds) {
      while (SimCard_NowMicros() - start < seconds * 1e6) {
        SimCard_AdvanceMs(385);
        f.window->TimerAD_Timer();
      }
    };
    tickUntil(0.3);
    const double base = view->traces()[0].stats.mean;
    view->findChild<QComboBox*>("cboTrigChannel")->setCurrentIndex(9);
    view->findChild<QDoubleSpinBox*>("spnTrigLevel")->setValue(base + 2.0);
    view->SetTriggerMode(WaveformWindow::TriggerMode::Auto);
    tickUntil(1.0);
    QVERIFY(view->scope().live() && !view->note().contains("等待触发…"));
    QCOMPARE(view->traces()[0].volts.size(), size_t{300});
    tickUntil(1.6);
    QVERIFY(view->scope().holdsSpan());
    QVERIFY(view->plot()->triggerCaption().startsWith("触发 1.234"));
    tickUntil(3.0);
    QVERIFY(view->scope().live());
    QVERIFY(view->plot()->triggerCaption().isEmpty());

    view->findChild<QComboBox*>("cboTrigKind")->setCurrentIndex(1);    // 下降沿
    view->findChild<QDoubleSpinBox*>("spnTrigLevel")->setValue(4.98);  // armed above 5 V
    QVERIFY(view->note().contains("触发设置无效: 回差过大"));
    view->SetTriggerMode(WaveformWindow::TriggerMode::Normal);
    tickUntil(3.5);
    QCOMPARE(view->traces()[0].volts.size(), size_t{300});  // live, not waiting
  }

  // The extreme codes lie on the edges of the -5 V to +5 V axis, or inside a fitted one.
  void extremeCodesStayOnTheAxis() {
    WindowOnSimCard f;
    f.window->cmdStart_Click();
    f.window->OpenWaveform(1);
    ScriptTick({Block([](int pt, int) -> int16_t { return pt % 2 ? -1 : 0; })});
    f.window->TimerAD_Timer();
    WaveformPlot* plot = f.window->waveform()->plot();
    QVERIFY(plot->lowVolts() <= f.window->waveform()->traces()[0].stats.minimum + 0.001f);
    QVERIFY(plot->highVolts() >= f.window->waveform()->traces()[0].stats.maximum - 0.001f);
    f.Find<QCheckBox>("chkFit")->setChecked(true);
    QVERIFY(plot->lowVolts() < -5.0f && plot->highVolts() > 5.0f);
    QVERIFY(!plot->grab().isNull());
  }

  // A recording from the waveform window takes every block the tick fetches, also with
  // the window hidden; a Stop and Start is a gap; a folder that holds a recording gets a
  // new name. The main window's own files and captions are not touched.
  void recordingTakesEveryBlockOfTheTick() {
    WindowOnSimCard f;
    qputenv("KZB_RESULTS_DB", f.dataDir.filePath("results/results.sqlite").toUtf8());
    f.window->cmdStart_Click();
    f.window->OpenWaveform(2);
    RecordPanel* panel = f.window->waveform()->recordPanel();
    const QString asked = f.dataDir.filePath("rec");
    QVERIFY(QDir().mkpath(asked));
    QFile(asked + "/recording.json").open(QIODevice::WriteOnly);  // a recording there already
    f.window->waveform()->findChild<QLineEdit*>("txtRecordFolder")->setText(asked);
    f.window->waveform()->findChild<QPushButton*>("cmdRecord")->click();
    QVERIFY(panel->recording());
    QCOMPARE(panel->folder(), asked + "-2");
    const auto block = [](int n) {
      return Block([n](int pt, int ch) -> int16_t { return n * 1000 + pt + ch; });
    };
    ScriptTick({block(0), block(1)});
    f.window->TimerAD_Timer();
    f.window->waveform()->hide();
    ScriptTick({block(2)});
    f.window->TimerAD_Timer();
    f.window->cmdStop_Click();
    f.window->cmdStart_Click();
    ScriptTick({block(3)});
    f.window->TimerAD_Timer();
    f.window->waveform()->findChild<QPushButton*>("cmdRecord")->click();
    panel->WaitForEnd();
    const QString said = f.window->waveform()->findChild<QLabel*>("lblRecord")->text();
    QVERIFY2(said.startsWith("记录已结束 (已停止): 4 块, 丢失 0 块, 间断 1 处"), qPrintable(said));
    auto index = recording::OpenRecording((asked + "-2").toStdString());
    QVERIFY(index);
    std::vector<uint8_t> payload;
    int blocks = 0;
    for (const recording::SegmentIndex& s : index.value().segments) {
      for (size_t i = 0; i < s.rows.size(); ++i) {
        if (s.rows[i].header.flags != recording::kBlock) continue;
        QVERIFY(recording::ReadRecord(s, i, payload));
        QCOMPARE(std::memcmp(payload.data(), block(blocks++).data(), payload.size()), 0);
      }
    }
    QCOMPARE(blocks, 4);
    QCOMPARE(f.Caption("lblBlock"), QString(" 4"));  // the main window counts as before
    qunsetenv("KZB_RESULTS_DB");
  }

  // "触发记录" records through the waveform window's trigger: every block, each pulse an
  // event at its time (2 s apart, as the pulses are), and the viewer lists them.
  void theRecordRowRecordsWithTheWindowsTrigger() {
    WindowOnSimCard f;
    qputenv("KZB_RESULTS_DB", f.dataDir.filePath("results/results.sqlite").toUtf8());
    SimCard_AddPulses(9, 1.2345, 4.0, 0.05, 0.01, 2, 2.0);  // at 1.2345 and 3.2345 s
    f.window->cmdStart_Click();
    f.window->OpenWaveform(9);
    WaveformWindow* view = f.window->waveform();
    const int64_t start = SimCard_NowMicros();
    const auto tickUntil = [&f, start](double seconds) {  // of card time from the start
      while (SimCard_NowMicros() - start < seconds * 1e6) {
        SimCard_AdvanceMs(385);
        f.window->TimerAD_Timer();
      }
    };
    tickUntil(0.3);
    const double base = view->traces()[0].stats.mean;
    view->findChild<QComboBox*>("cboTrigChannel")->setCurrentIndex(9);
    view->findChild<QDoubleSpinBox*>("spnTrigLevel")->setValue(base + 2.0);
    const QString folder = f.dataDir.filePath("triggered");
    view->findChild<QLineEdit*>("txtRecordFolder")->setText(folder);
    view->findChild<QComboBox*>("cboRecordTrigger")->setCurrentIndex(1);  // all, marked
    view->findChild<QPushButton*>("cmdRecord")->click();
    QVERIFY(view->recordPanel()->recording());
    tickUntil(4.5);
    view->findChild<QPushButton*>("cmdRecord")->click();
    view->recordPanel()->WaitForEnd();
    auto index = recording::OpenRecording(folder.toStdString());
    QVERIFY(index);
    const auto& events = index.value().events;
    QCOMPARE(events.size(), size_t{2});
    const auto at = [](const recording::EventRecord& e) {
      return static_cast<double>(e.block) * 0.384 + e.secondsIntoBlock;
    };
    QVERIFY2(std::abs(at(events[1]) - at(events[0]) - 2.0) < 2e-6,
             qPrintable(QString::number(at(events[1]) - at(events[0]), 'f', 7)));
    QCOMPARE(index.value().description.kept, std::string("all"));
    RecordingViewer viewer(folder);
    QCOMPARE(viewer.findChild<QListWidget*>("lstViewMarks")->count(), 2);
    qunsetenv("KZB_RESULTS_DB");
  }

  // "备注…" only while recording: the note asked for goes into the recording, byte for
  // byte, and the viewer lists it.
  void aNoteIsAskedForWhileRecordingAndListed() {
    WindowOnSimCard f;
    qputenv("KZB_RESULTS_DB", f.dataDir.filePath("results/results.sqlite").toUtf8());
    f.window->cmdStart_Click();
    f.window->OpenWaveform(2);
    RecordPanel* panel = f.window->waveform()->recordPanel();
    auto* note = f.window->waveform()->findChild<QPushButton*>("cmdRecordNote");
    QVERIFY(!note->isEnabled());
    const QString folder = f.dataDir.filePath("noted");
    f.window->waveform()->findChild<QLineEdit*>("txtRecordFolder")->setText(folder);
    f.window->waveform()->findChild<QPushButton*>("cmdRecord")->click();
    QVERIFY(note->isEnabled());
    ScriptTick({Filled(0)});
    f.window->TimerAD_Timer();
    const QString text = "探头换到通道 3 ✓\n第二行";
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      dialog->setTextValue(text);
      dialog->accept();
    });
    note->click();
    f.window->waveform()->findChild<QPushButton*>("cmdRecord")->click();
    panel->WaitForEnd();
    QVERIFY(!note->isEnabled());
    RecordingViewer viewer(folder);
    const auto* list = viewer.findChild<QListWidget*>("lstViewMarks");
    QCOMPARE(list->count(), 1);
    QVERIFY2(list->item(0)->text().endsWith("  备注: 探头换到通道 3 ✓ 第二行"),
             qPrintable(list->item(0)->text()));
    QCOMPARE(list->item(0)->toolTip(), text);
    qunsetenv("KZB_RESULTS_DB");
  }

  // A recording with a loss, on view: its facts, the gap, zoomed down to single samples,
  // and the span exported; one that holds a damaged segment says so and shows the rest.
  void theViewerShowsARecordingAndExportsItsSpan() {
    QTemporaryDir dir;
    recording::RecorderSettings settings;
    settings.folder = dir.filePath("rec").toStdString();
    settings.description.card = "模拟板卡";
    settings.description.aggregateRateHz = 50000;
    settings.description.blockSeconds = 0.384;
    auto recorder = recording::Recorder::Start(settings);
    QVERIFY(recorder);
    const auto cells =
        Block([](int pt, int ch) -> int16_t { return static_cast<int16_t>(pt * 10 + ch); });
    for (int n = 0; n < 30; ++n) {
      recorder.value()->Add(
          {.cells = cells.data(), .channels = 64, .points = 300, .aggregateRate = 50000},
          n == 20 ? 3 : 0);
    }
    recorder.value()->Close();
    QFile(dir.filePath("rec/segment-0002.kzr")).open(QIODevice::WriteOnly);
    RecordingViewer viewer(dir.filePath("rec"));
    viewer.show();
    QVERIFY(viewer.failure().isEmpty());
    const QString facts = viewer.findChild<QLabel*>("lblViewFacts")->text();
    QVERIFY2(facts.contains("30 块，丢失 3 块，间断 1 处") && facts.contains("已完成"),
             qPrintable(facts));
    QVERIFY2(viewer.findChild<QLabel*>("lblViewProblems")->text().contains("segment-0002.kzr"),
             qPrintable(viewer.findChild<QLabel*>("lblViewProblems")->text()));
    RecordingPlot* plot = viewer.plot();
    QVERIFY(!plot->showsSamples());
    for (int i = 0; i < 12 && !plot->showsSamples(); ++i)
      viewer.findChild<QPushButton*>("cmdZoomIn")->click();
    QVERIFY(plot->showsSamples());
    QVERIFY(viewer.findChild<QLabel*>("lblViewSpan")->text().endsWith("单个采样点"));
    QVERIFY(!plot->grab().isNull());
    viewer.findChild<QPushButton*>("cmdViewAll")->click();
    viewer.Export(RecordingViewer::Format::Csv, dir.filePath("all.csv"));
    viewer.WaitForExport();
    const QString said = viewer.findChild<QLabel*>("lblExport")->text();
    QVERIFY2(said.startsWith(QString("已导出 %1 行").arg(30 * 300)), qPrintable(said));
    QVERIFY(QFileInfo(dir.filePath("all.csv")).size() > 30 * 300 * 20);
    QFile exported(dir.filePath("all.csv"));
    QVERIFY(exported.open(QIODevice::ReadOnly));
    exported.readLine();
    const QString row = QString::fromUtf8(exported.readLine());
    QVERIFY2(row.contains(QRegularExpression("^[^,]+(,-?\\d+\\.\\d{5})+\r\n$")), qPrintable(row));
    // Nothing of a recording there: said, with the reason.
    RecordingViewer nothing(dir.filePath("none"));
    QVERIFY2(nothing.failure().startsWith("这里没有记录 (no recording here"),
             qPrintable(nothing.failure()));
  }

  // A segment cut short and a damaged record: the blocks they took are said with their
  // segment and marked on the plot, and the span's text fits the window at its least width.
  void theViewerSaysDamageAndFitsTheSpan() {
    QTemporaryDir dir;
    recording::RecorderSettings settings;
    settings.folder = dir.filePath("rec").toStdString();
    settings.description.aggregateRateHz = 50000;
    settings.description.blockSeconds = 0.384;
    auto recorder = recording::Recorder::Start(settings);
    QVERIFY(recorder);
    const auto cells = Block([](int, int) -> int16_t { return 100; });
    for (int n = 0; n < 53; ++n) {
      recorder.value()->Add(
          {.cells = cells.data(), .channels = 64, .points = 300, .aggregateRate = 50000}, 0);
    }
    recorder.value()->Close();
    QFile segment(dir.filePath("rec/segment-0001.kzr"));
    QVERIFY(segment.open(QIODevice::ReadWrite));
    segment.resize(30 * recording::kRecordBytes);
    segment.seek(6 * recording::kRecordBytes + 1000);  // block 5: found by the check
    segment.write("\x55");
    segment.close();
    RecordingViewer viewer(dir.filePath("rec"));
    viewer.resize(960, 620);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    const QString problems = viewer.findChild<QLabel*>("lblViewProblems")->text();
    QVERIFY2(problems.contains("segment-0001.kzr 中 24 块"), qPrintable(problems));
    viewer.WaitForCheck();
    const QString checked = viewer.findChild<QLabel*>("lblViewProblems")->text();
    QVERIFY2(checked.contains("25 块已损坏") && checked.contains("segment-0001.kzr 中 1 块"),
             qPrintable(checked));
    QVERIFY(viewer.findChild<QLabel*>("lblViewFacts")->text().contains("28 块"));
    for (int i = 0; i < 12 && !viewer.plot()->showsSamples(); ++i)
      viewer.findChild<QPushButton*>("cmdZoomIn")->click();
    auto* span = viewer.findChild<QLabel*>("lblViewSpan");
    QVERIFY2(span->fontMetrics().horizontalAdvance(span->text()) <= span->width(),
             qPrintable(QString("%1: %2 px in %3 px")
                            .arg(span->text())
                            .arg(span->fontMetrics().horizontalAdvance(span->text()))
                            .arg(span->width())));
  }
};

QTEST_MAIN(WaveformWindowTest)
#include "WaveformWindowTest.moc"

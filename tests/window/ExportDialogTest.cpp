// The viewer's export dialog: opened with the span and the traces on view, it writes the
// format chosen off the window's thread, says what it wrote, and refuses a channel list it
// cannot read without starting.
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "ExportDialog.h"
#include "Recorder.h"
#include "RecordingViewer.h"
#include "WindowFixture.h"

class ExportDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void theDialogExportsTheSpanOnView() {
    QTemporaryDir dir;
    recording::RecorderSettings settings;
    settings.folder = dir.filePath("rec").toStdString();
    settings.description.aggregateRateHz = 50000;
    settings.description.blockSeconds = 0.384;
    auto recorder = recording::Recorder::Start(settings);
    QVERIFY(recorder);
    const auto cells =
        Block([](int pt, int ch) -> int16_t { return static_cast<int16_t>(pt + ch); });
    for (int n = 0; n < 10; ++n) {
      recorder.value()->Add(
          {.cells = cells.data(), .channels = 64, .points = 300, .aggregateRate = 50000}, 0);
    }
    recorder.value()->Close();
    RecordingViewer viewer(dir.filePath("rec"));
    viewer.show();
    viewer.findChild<QPushButton*>("cmdExportDialog")->click();
    auto* dialog = viewer.findChild<ExportDialog*>();
    QVERIFY(dialog);
    QCOMPARE(dialog->findChild<QLineEdit*>("txtExportChannels")->text(), QString("1-4"));
    QCOMPARE(dialog->findChild<QLineEdit*>("txtExportFrom")->text(), QString("0.000"));
    auto* format = dialog->findChild<QComboBox*>("cboExportFormat");
    format->setCurrentIndex(format->findText("NPY"));
    QVERIFY(dialog->findChild<QLineEdit*>("txtExportPath")->text().endsWith("rec.npy"));
    dialog->findChild<QLineEdit*>("txtExportPath")->setText(dir.filePath("span.npy"));
    auto* said = dialog->findChild<QLabel*>("lblExportDone");
    // A list it cannot read: said, nothing started.
    dialog->findChild<QLineEdit*>("txtExportChannels")->setText("1-99");
    dialog->findChild<QPushButton*>("cmdExportStart")->click();
    dialog->WaitForExport();
    QVERIFY2(said->text().startsWith("通道无法识别"), qPrintable(said->text()));
    QVERIFY(!QFileInfo::exists(dir.filePath("span.npy")));
    dialog->findChild<QLineEdit*>("txtExportChannels")->setText("1-16");
    dialog->findChild<QPushButton*>("cmdExportStart")->click();
    dialog->WaitForExport();
    QVERIFY2(said->text().startsWith("已导出 3000 个采样点，2 个文件"), qPrintable(said->text()));
    QCOMPARE(dialog->findChild<QProgressBar*>("prgExport")->value(), 100);
    QCOMPARE(QFileInfo(dir.filePath("span.npy")).size(), 128 + 3000 * 16 * 2);
    QVERIFY(QFileInfo::exists(dir.filePath("span.npy.json")));
  }
};

QTEST_MAIN(ExportDialogTest)
#include "ExportDialogTest.moc"

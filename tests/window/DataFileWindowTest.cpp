// Block capture and data files, driven through the window.
#include <QFile>
#include <QFileInfo>

#include "CheckValue.h"
#include "DataFile.h"
#include "WindowFixture.h"

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct SavingWindow : WindowOnSimCard {
  SavingWindow(const char* files, const char* blocks) {
    Find<QLineEdit>("txtSaveFileNum")->setText(files);
    Find<QLineEdit>("txtBlockNumMax")->setText(blocks);
    Find<QCheckBox>("chkSaveData")->setChecked(true);
    window->cmdStart_Click();
  }
  // One tick delivering one block whose every cell is `cell`.
  void Deliver(int16_t cell = 0) {
    ScriptTick({Block([cell](int, int) { return cell; })});
    window->TimerAD_Timer();
    window->WaitForDataFiles();
  }
  QString FilePath(int n) const {
    return dataDir.filePath(QString::fromStdString(acquisition::DataFileName(n)));
  }
};

}  // namespace

class DataFileWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void threeFilesOfTwoBlocks() {
    SavingWindow f("3", "2");
    // The second block shows the first message and then, writing the file, the next one.
    const QString expected[] = {"正在采集，准备保存！", "保存数据文件到: 2", "保存数据文件到: 2",
                                "保存数据文件到: 3",    "保存数据文件到: 3", "保存数据完成!"};
    for (const QString& status : expected) {
      f.Deliver();
      QCOMPARE(f.Caption("lblInfo"), status);
    }
    for (int n = 0; n < 3; ++n) {
      QVERIFY(QFileInfo::exists(f.FilePath(n)));
      QCOMPARE(ReadAll(f.FilePath(n)).count("\r\n"), 1 + 2 * 301);
    }
    f.Deliver();  // the run is complete: a seventh block is not gathered
    QCOMPARE(f.window->capture().SaveBlockIndex, int16_t{0});
    QCOMPARE(f.Caption("lblInfo"), QString("保存数据完成!"));
    QVERIFY(!QFileInfo::exists(f.FilePath(3)));
  }

  void oneFileOfOneBlockIsWrittenAtOnce() {
    SavingWindow f("1", "1");
    f.Deliver(-1);
    QCOMPARE(f.Caption("lblInfo"), QString("保存数据完成!"));
    const QByteArray bytes = ReadAll(f.FilePath(0));
    QCOMPARE(bytes.count("\r\n"), 302);
    QVERIFY(bytes.contains(
        "\"----------------Block 1------------------\"\r\n0,65535,65535,65535,65535\r\n"));
  }

  void codesAreWrittenUnsigned() {
    SavingWindow f("1", "2");
    f.Deliver(-32768);
    f.Deliver(-1);
    const QByteArray bytes = ReadAll(f.FilePath(0));
    QVERIFY(bytes.contains("\r\n299,32768,32768,32768,32768\r\n\"----------------Block 2"));
    QVERIFY(bytes.endsWith("\r\n299,65535,65535,65535,65535\r\n"));
  }

  void tenBlocksMake3011Lines() {
    SavingWindow f("1", "20");  // clamped to 10
    for (int i = 0; i < 10; ++i) f.Deliver(static_cast<int16_t>(i));
    QCOMPARE(ReadAll(f.FilePath(0)).count("\r\n"), 3011);
  }

  void onlyDeliveredBlocksAreGathered() {
    SavingWindow f("1", "1");
    SimCard_ScriptQuery(1);
    SimCard_ScriptFetch(0, nullptr);
    f.window->TimerAD_Timer();
    QCOMPARE(f.window->capture().SaveBlockIndex, int16_t{0});
    QCOMPARE(f.Caption("lblInfo"), QString("当前状态"));
  }

  void uncheckedOrGreyedPausesAndCheckedResumesTheSameFile() {
    SavingWindow f("1", "2");
    f.Deliver(1);
    SetCheckValue(f.Find<QCheckBox>("chkSaveData"), 2);
    f.Deliver(2);
    SetCheckValue(f.Find<QCheckBox>("chkSaveData"), 0);
    f.Deliver(3);
    QCOMPARE(f.window->capture().SaveBlockIndex, int16_t{1});
    SetCheckValue(f.Find<QCheckBox>("chkSaveData"), 1);
    f.Deliver(4);
    const QByteArray bytes = ReadAll(f.FilePath(0));
    QVERIFY(bytes.contains(
        "\r\n299,1,1,1,1\r\n\"----------------Block 2------------------\"\r\n0,4,4,4,4\r\n"));
  }

  void aNewStartAbandonsThePartialFile() {
    SavingWindow f("2", "2");
    f.Deliver(1);
    f.Deliver(1);  // file 0 written
    f.Deliver(2);  // half of file 1
    f.window->cmdStop_Click();
    f.window->cmdStart_Click();
    QCOMPARE(f.window->capture().SaveFileIndex, int16_t{0});
    QCOMPARE(f.window->capture().SaveBlockIndex, int16_t{0});
    f.Deliver(7);
    f.Deliver(7);
    QVERIFY(ReadAll(f.FilePath(0)).contains("\r\n0,7,7,7,7\r\n"));  // replaced
    QVERIFY(!QFileInfo::exists(f.FilePath(1)));
  }

  void anUnwritableDirectoryIsReportedAndRetried() {
    SavingWindow f("1", "1");
    QVERIFY(QDir(f.dataDir.path()).removeRecursively());
    f.Deliver();
    QCOMPARE(f.Caption("lblInfo"), QString("写入失败:KZB7315 0.txt"));
    QVERIFY(
        QDir::fromNativeSeparators(f.Find<QLabel>("lblInfo")->toolTip()).contains(f.FilePath(0)));
    QVERIFY(f.Find("cmdStop")->isEnabled());  // acquisition goes on
    QVERIFY(QDir().mkpath(f.dataDir.path()));
    f.Deliver();
    QCOMPARE(f.Caption("lblInfo"), QString("保存数据完成!"));
    QVERIFY(QFileInfo::exists(f.FilePath(0)));
  }

  void aPlantedLinkIsReplacedNotFollowed() {
    SavingWindow f("1", "1");
    const QString target = f.dataDir.filePath("precious.txt");
    QFile precious(target);
    QVERIFY(precious.open(QIODevice::WriteOnly));
    precious.write("keep");
    precious.close();
    QVERIFY(QFile::link(target, f.FilePath(0)));
    f.Deliver();
    QCOMPARE(f.Caption("lblInfo"), QString("保存数据完成!"));
    QCOMPARE(ReadAll(target), QByteArray("keep"));
    QVERIFY(!QFileInfo(f.FilePath(0)).isSymLink());
    QCOMPARE(ReadAll(f.FilePath(0)).count("\r\n"), 302);
  }

  void aNewStartClearsTheLastRunsFailure() {
    SavingWindow f("1", "1");
    QVERIFY(QDir().mkpath(f.FilePath(0)));  // a directory holds the file's name
    f.Deliver();
    QCOMPARE(f.Caption("lblInfo"), QString("写入失败:KZB7315 0.txt"));
    f.Find<QLineEdit>("txtBlockNumMax")->setText("2");
    f.window->cmdStop_Click();
    f.window->cmdStart_Click();
    f.Deliver();
    QCOMPARE(f.Caption("lblInfo"), QString("正在采集，准备保存！"));
  }

  // Files finished while the disk is slow (CTest runs this once more with every flush slowed
  // to 1.5 s) survive Stop and Start: every one lands, the new run's file 0 after the old.
  void aStartKeepsTheFilesStillWaitingForTheDisk() {
    SavingWindow f("20", "1");
    for (int file = 0; file < 4; ++file) {  // four finished files of the first run
      ScriptTick({Block([](int, int) { return int16_t{1}; })});
      f.window->TimerAD_Timer();
    }
    f.window->cmdStop_Click();
    f.window->cmdStart_Click();
    f.Deliver(2);
    QVERIFY(f.window->FinishDataFiles(std::chrono::seconds(30)).empty());
    QVERIFY(ReadAll(f.FilePath(0)).contains("\r\n0,2,2,2,2\r\n"));
    for (int n = 1; n < 4; ++n) QVERIFY(ReadAll(f.FilePath(n)).contains("\r\n0,1,1,1,1\r\n"));
    QVERIFY(!QFileInfo::exists(f.FilePath(4)));
  }
};

QTEST_MAIN(DataFileWindowTest)
#include "DataFileWindowTest.moc"

// File-system faults that only POSIX systems can stage: a FIFO at the file's name, a
// directory that takes no files even for root, a disk that is full (for the data files and
// for the station's records).
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "StationFixture.h"
#include "WindowFixture.h"

class FileSystemFaultsTest : public QObject {
  Q_OBJECT

 private slots:
  // A FIFO at the name once froze the window inside the tick; it is replaced like a file.
  void fifoAtTheFilesName() {
    WindowOnSimCard f;
    QVERIFY(mkfifo(QFile::encodeName(DataFile(f.dataDir.path(), 0)).constData(), 0644) == 0);
    StartSaving(f);
    SaveOneFileExpectingSuccess(f);
  }

  void notWritable() {
    // /proc takes no new files, whoever asks; root ignores a directory's permission bits.
    WindowOnSimCard f;
    auto window = std::make_unique<FrmMultiBuf>(ADCARD_PATH, "/proc");
    std::swap(window, f.window);
    SaveOneFileExpectingFailure(f);
  }

  void fullDisk() {
    if (geteuid() != 0) QSKIP("needs root to mount a tiny file system");
    WindowOnSimCard f;
    const QByteArray dir = f.dataDir.path().toUtf8();
    if (mount("tmpfs", dir.constData(), "tmpfs", 0, "size=4k") != 0) {
      QSKIP("tmpfs cannot be mounted here");
    }
    SaveOneFileExpectingFailure(f);
    QVERIFY(QFileInfo(DataFile(f.dataDir.path(), 0)).size() <= 4096);
    QCOMPARE(umount(dir.constData()), 0);
    SaveOneFileExpectingSuccess(f);
  }

  // The station on a full disk: neither the database nor the report fits, so the run is
  // held; once there is room, the next scan keeps it first.
  void stationOnAFullDisk() {
    if (geteuid() != 0) QSKIP("needs root to mount a tiny file system");
    Station s;
    const QByteArray dir = QFile::encodeName(s.dir.filePath("full"));
    QVERIFY(QDir().mkpath(dir));
    if (mount("tmpfs", dir.constData(), "tmpfs", 0, "size=4k") != 0) {
      QSKIP("tmpfs cannot be mounted here");
    }
    qputenv("KZB_RESULTS_DB", dir + "/results.sqlite");
    s.Scan("KZB000007");
    QVERIFY2(s.Message().contains("1 次测试的结果未能保存"), qPrintable(s.Message()));
    QCOMPARE(umount(dir.constData()), 0);
    s.Scan("KZB000008");
    QVERIFY2(s.Banner().startsWith("通过") && s.Message().isEmpty(),
             qPrintable(s.Banner() + " | " + s.Message()));
    auto store = results::ResultsStore::Open((dir + "/results.sqlite").toStdString());
    QCOMPARE(store.value()->Runs({}).value().size(), size_t{2});
  }
};

QTEST_MAIN(FileSystemFaultsTest)
#include "FileSystemFaultsTest.moc"

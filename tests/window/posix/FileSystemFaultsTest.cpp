// File-system faults that only POSIX systems can stage: a FIFO at the file's name, a
// directory that takes no files even for root, a disk that is full.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

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
};

QTEST_MAIN(FileSystemFaultsTest)
#include "FileSystemFaultsTest.moc"

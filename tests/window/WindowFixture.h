// Shared set-up for tests that drive the whole window on the simulated card.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>
#include <vector>

#include "DataFile.h"
#include "FrmMultiBuf.h"
#include "SimCardControl.h"
#include "UpDownSpinner.h"

constexpr int kBlockCells = 64 * 300;

// A fresh simulated card (on a manual clock, so nothing arrives unless scripted) and a
// window on it, writing its data files into a temporary folder.
struct WindowOnSimCard {
  explicit WindowOnSimCard(const std::string& library = ADCARD_PATH,
                           const std::function<void()>& beforeWindow = {}) {
    SimCard_Reset();
    SimCard_SetManualClock(1);
    if (beforeWindow) beforeWindow();
    window = std::make_unique<FrmMultiBuf>(library, dataDir.path().toStdString());
  }

  template <typename T = QWidget>
  T* Find(const QString& name) const {
    T* w = window->findChild<T*>(name);
    if (!w) qFatal("no control named %s", qPrintable(name));
    return w;
  }
  QString Caption(const QString& label) const { return Find<QLabel>(label)->text(); }

  QTemporaryDir dataDir;
  std::unique_ptr<FrmMultiBuf> window;
};

// One block whose cell for (point, channel) the function gives.
inline std::vector<int16_t> Block(const std::function<int16_t(int pt, int ch)>& cell) {
  std::vector<int16_t> block(kBlockCells);
  for (int pt = 0; pt < 300; ++pt)
    for (int ch = 0; ch < 64; ++ch) block[pt * 64 + ch] = cell(pt, ch);
  return block;
}

// Queues a tick's worth of blocks on the card: the count, then one fetch per block.
inline void ScriptTick(const std::vector<std::vector<int16_t>>& blocks) {
  SimCard_ScriptQuery(static_cast<int16_t>(blocks.size()));
  for (const auto& b : blocks) SimCard_ScriptFetch(1, b.data());
}

inline std::vector<int16_t> Filled(int16_t cell) {
  return Block([cell](int, int) { return cell; });
}

inline QString DataFile(const QString& dir, int n) {
  return QDir(dir).filePath(
      QString::fromStdString(acquisition::DataFileName(static_cast<int16_t>(n))));
}

// Saving one file of one block, for the file-system faults: a failure shows its file name
// and reason while acquisition goes on; a success writes the whole file.
inline void StartSaving(WindowOnSimCard& f) {
  if (!f.Find("cmdStop")->isEnabled()) {
    f.Find<QLineEdit>("txtSaveFileNum")->setText("1");
    f.Find<QLineEdit>("txtBlockNumMax")->setText("1");
    f.Find<QCheckBox>("chkSaveData")->setChecked(true);
    f.window->cmdStart_Click();
  }
}
inline void SaveOneFileExpectingFailure(WindowOnSimCard& f) {
  StartSaving(f);
  ScriptTick({Filled(-1)});  // 65535 in every cell: about 8 KiB of records
  f.window->TimerAD_Timer();
  f.window->WaitForDataFiles();
  QCOMPARE(f.Caption("lblInfo"), QString("写入失败:KZB7315 0.txt"));
  QVERIFY(!f.Find<QLabel>("lblInfo")->toolTip().isEmpty());
  QCOMPARE(f.Caption("lblBlock"), QString(" 1"));
  QVERIFY(f.Find("cmdStop")->isEnabled());
}
inline void SaveOneFileExpectingSuccess(WindowOnSimCard& f) {
  ScriptTick({Filled(-1)});
  f.window->TimerAD_Timer();
  f.window->WaitForDataFiles();
  QCOMPARE(f.Caption("lblInfo"), QString("保存数据完成!"));
  QFile file(DataFile(f.dataDir.path(), 0));
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll().count("\r\n"), 302);
}

inline int32_t LastArg(const char* entry, int index) {
  int32_t args[8];
  SimCard_LastArgs(entry, args);
  return args[index];
}

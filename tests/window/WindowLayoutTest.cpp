// The window as it is created: every control with its kind, container, caption, place,
// size and state, the focus order, fonts and timers.
#include <QFontDatabase>
#include <QGroupBox>

#include "CheckValue.h"
#include "PathCaption.h"
#include "WindowFixture.h"

namespace {

struct Control {
  const char* name;
  const char* kind;
  const char* parent;
  QString text;
  int left, top, width, height;  // twips
  bool autoSize;
};

int Px(int twips) {
  return (twips * 2 + 15) / 30;
}

const Control kControls[] = {
    {"Label1(0)", "QLabel", "FrmMultiBuf", "通道1:", 384, 192, 552, 180, true},
    {"lblAD(0)", "QLabel", "FrmMultiBuf", "0.000", 1245, 165, 930, 180, false},
    {"Label1(1)", "QLabel", "FrmMultiBuf", "通道2:", 384, 456, 552, 180, true},
    {"lblAD(1)", "QLabel", "FrmMultiBuf", "0.000", 1230, 480, 930, 180, false},
    {"Label1(2)", "QLabel", "FrmMultiBuf", "通道3:", 360, 744, 552, 180, true},
    {"lblAD(2)", "QLabel", "FrmMultiBuf", "0.000", 1245, 795, 870, 180, false},
    {"Label1(3)", "QLabel", "FrmMultiBuf", "通道4:", 336, 1032, 552, 180, true},
    {"lblAD(3)", "QLabel", "FrmMultiBuf", "0.000", 1245, 1050, 900, 180, false},
    {"Label4", "QLabel", "FrmMultiBuf", "接收数据块数:", 72, 1416, 1176, 180, true},
    {"lblBlock", "QLabel", "FrmMultiBuf", "Label2", 1350, 1410, 570, 180, true},
    {"Label5", "QLabel", "FrmMultiBuf", "缓冲区指针:", 150, 1680, 990, 180, true},
    {"lblptr", "QLabel", "FrmMultiBuf", "Label3", 1320, 1680, 570, 180, true},
    {"Label1(12)", "QLabel", "FrmMultiBuf", "开关量输入:", 120, 2070, 990, 180, true},
    {"lblDI", "QLabel", "FrmMultiBuf", "00", 2190, 1920, 450, 435, true},
    {"Frame2", "QGroupBox", "FrmMultiBuf", "开关量输入", 0, 2430, 5475, 1440, false},
    {"Frame1", "QGroupBox", "FrmMultiBuf", "开关量输出--按字节输出模式", 90, 3870, 3555, 1335,
     false},
    {"Frame3", "QGroupBox", "FrmMultiBuf", "开关量输出--按位输出模式", 90, 5220, 3555, 1335, false},
    {"Frame4", "QGroupBox", "FrmMultiBuf", "数据保存功能", 3690, 3915, 2040, 2670, false},
    {"Label2", "QLabel", "FrmMultiBuf", "板卡信息:", 135, 6660, 810, 180, true},
    {"lblCardInfo", "QLabel", "FrmMultiBuf", "卡名: 73 10 类型: 1  速度: 50K  精度: 16位", 1125,
     6660, 990, 180, true},
    {"cmdStart", "QPushButton", "FrmMultiBuf", "开始采集", 450, 7335, 936, 444, false},
    {"cmdStop", "QPushButton", "FrmMultiBuf", "停止采集", 1620, 7335, 936, 444, false},
    {"cmdExit", "QPushButton", "FrmMultiBuf", "退出", 3105, 7335, 936, 444, false},
    {"Label1(5)", "QLabel", "FrmMultiBuf", "信息显示(平均值):", 3960, 180, 1530, 180, true},
    {"chkDisp", "QCheckBox", "FrmMultiBuf", "Information显示更新", 3555, 495, 2025, 255, false},
    {"txtInfo", "QPlainTextEdit", "FrmMultiBuf", "Info", 5760, 45, 2835, 7890, false},
    {"Label1(4)", "QLabel", "Frame2", "位:", 168, 336, 180, 192, true},
    {"lblBit", "QLabel", "Frame2", "Bit", 930, 300, 180, 195, true},
    {"Label1(6)", "QLabel", "Frame2", "开关量输入0：", 168, 696, 948, 192, true},
    {"lblDI_0", "QLabel", "Frame2", "DI0", 1320, 690, 240, 195, true},
    {"Label1(7)", "QLabel", "Frame2", "开关量输入1：", 144, 1056, 948, 192, true},
    {"lblDI_1", "QLabel", "Frame2", "DI1", 1320, 1050, 240, 195, true},
    {"Label1(9)", "QLabel", "Frame1", "通道组（0 或1）：", 195, 330, 1545, 180, true},
    {"txtswChn", "QLineEdit", "Frame1", "0", 2040, 270, 516, 300, false},
    {"Label1(8)", "QLabel", "Frame1", "开关量输出值(hex)：", 45, 750, 1740, 180, true},
    {"txtSWO_0", "QLineEdit", "Frame1", "00", 2064, 675, 516, 288, false},
    {"cmdSWO", "QPushButton", "Frame1", "输出", 2700, 450, 768, 336, false},
    {"Label1(11)", "QLabel", "Frame3", "开关量输出值(0 /1)：", 90, 360, 1800, 180, true},
    {"txtDOValue", "QLineEdit", "Frame3", "0", 1845, 270, 516, 300, false},
    {"Label1(13)", "QLabel", "Frame3", "(双击改变)", 2385, 270, 900, 180, true},
    {"Label1(10)", "QLabel", "Frame3", "通道组数(1-16)：", 90, 765, 1440, 180, true},
    {"txtDOChn", "QLineEdit", "Frame3", "1", 1890, 675, 516, 288, false},
    {"UpDownBitNum", "UpDownSpinner", "Frame3", "", 2385, 675, 240, 285, false},
    {"cmdDOOutput", "QPushButton", "Frame3", "输出", 2655, 540, 630, 510, false},
    {"Label3(0)", "QLabel", "Frame4", "文件个数:", 90, 450, 810, 180, true},
    {"txtSaveFileNum", "QLineEdit", "Frame4", "3", 1350, 405, 330, 285, false},
    {"Label3(2)", "QLabel", "Frame4", "保存数据的块数:", 0, 765, 1350, 180, true},
    {"txtBlockNumMax", "QLineEdit", "Frame4", "20", 1350, 720, 375, 285, false},
    {"chkSaveData", "QCheckBox", "Frame4", "数据保存", 90, 990, 1275, 330, false},
    {"Label3(1)", "QLabel", "Frame4", "文件状态:", 45, 1395, 810, 180, true},
    {"lblInfo", "QLabel", "Frame4", "当前状态", 45, 1665, 720, 180, true},
    {"Label3(4)", "QLabel", "Frame4", "请先建立该目录", 45, 2385, 1305, 255, true},
};

QString TextOf(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* t = qobject_cast<QPlainTextEdit*>(w)) return t->toPlainText();
  return {};
}

}  // namespace

class WindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void controls() {
    WindowOnSimCard f;
    QCOMPARE(f.window->objectName(), QString("FrmMultiBuf"));
    QCOMPARE(f.window->windowTitle(), QString("KZB7310测试及编程源程序"));
    QCOMPARE(f.window->size(), QSize(576, 529));
    for (const Control& c : kControls) {
      QWidget* w = f.Find(c.name);
      const QByteArray name = c.name;
      QVERIFY2(w->inherits(c.kind), name);
      QCOMPARE(w->parentWidget()->objectName(), QString(c.parent));
      QCOMPARE(TextOf(w), c.text);
      QCOMPARE(w->pos(), QPoint(Px(c.left), Px(c.top)));
      if (!c.autoSize) QCOMPARE(w->size(), QSize(Px(c.width), Px(c.height)));
      QVERIFY2(w->isEnabled() || name == "cmdStop", name);
      QVERIFY2(!w->isHidden(), name);
    }
  }

  void autoSizedLabelsFollowTheirCaptions() {
    WindowOnSimCard f;
    QLabel* label = f.Find<QLabel>("lblBlock");
    const int before = label->width();
    f.window->cmdStart_Click();  // refused below: "Error=" plus a long number widens it
    SimCard_FailNext("Initial", -2147483647);
    f.window->cmdStart_Click();
    QCOMPARE(label->text(), QString("Error=-2147483647"));
    QVERIFY(label->width() > before);
    QCOMPARE(label->pos(), QPoint(Px(1350), Px(1410)));

    // Every one-line auto-size label has the size Qt's own size hint gives its caption.
    for (QLabel* l : f.window->findChildren<QLabel*>()) {
      if (l->property("autoSize").toBool() && !l->wordWrap()) {
        QVERIFY2(l->size() == l->sizeHint(), qPrintable(l->objectName()));
      }
    }

    QLabel* wrapped = f.Find<QLabel>("Label3(3)");
    QVERIFY(wrapped->text().startsWith("文件保存到:"));
    QCOMPARE(wrapped->width(), Px(1620));
    QVERIFY(wrapped->wordWrap());

    QLabel* fixed = f.Find<QLabel>("lblAD(0)");
    fixed->setText("-12345.678");
    QCOMPARE(fixed->size(), QSize(Px(930), Px(180)));
  }

  // Characters stand for width here: the caption's start stays, the path's head goes first,
  // then the start of its last part.
  void pathCaptionsAreCutInTheMiddle_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("pathStart");
    QTest::addColumn<int>("room");
    QTest::addColumn<QString>("shown");
    QTest::newRow("fits") << "文件保存到:/tmp" << 6 << 10 << "文件保存到:/tmp";
    QTest::newRow("head cut") << "文件保存到:/home/operator/data" << 6 << 16
                              << "文件保存到:/hom…/data";
    QTest::newRow("last part cut")
        << "文件保存到:/home/operator/data" << 6 << 10 << "文件保存到:…ata";
    QTest::newRow("start only") << "文件保存到:/home" << 6 << 3 << "文件保存到:…";
    QTest::newRow("windows") << "无法加载板卡库: D:\\程序\\KZB\\adcard.dll" << 9 << 24
                             << "无法加载板卡库: D:\\…\\adcard.dll";
    QTest::newRow("separator at the end")
        << "文件保存到:/data/run/2026/" << 6 << 14 << "文件保存到:/…/2026/";
    QTest::newRow("no path") << "板卡库缺少入口点: " << 10 << 3 << "板卡库缺少入口点: ";
  }
  void pathCaptionsAreCutInTheMiddle() {
    QFETCH(QString, caption);
    QFETCH(int, pathStart);
    QFETCH(int, room);
    QFETCH(QString, shown);
    QCOMPARE(ElidePathCaption(caption, pathStart,
                              [room](const QString& text) { return text.size() <= room; }),
             shown);
  }

  // In the window: what overflows is elided to its place with the whole text in the
  // tooltip, beside the reason a failure gives; a short caption stays as it is.
  void longPathCaptionsFitTheirPlace() {
    if (QFontDatabase::families().isEmpty()) QSKIP("no font to measure text with here");
    WindowOnSimCard f;
    const QString folder = f.dataDir.filePath(QString(40, 'x') + "/data");
    const QString library = f.dataDir.filePath(QString(60, 'y') + "/libadcard.so");
    FrmMultiBuf window(library.toStdString(), folder.toStdString());
    auto* wrapped = window.findChild<QLabel*>("Label3(3)");
    const QString shownFolder = wrapped->text().section("…", 1);
    QVERIFY(wrapped->text().startsWith("文件保存到:") && !shownFolder.isEmpty());
    QVERIFY(folder.endsWith(shownFolder));
    QVERIFY(wrapped->geometry().bottom() < window.findChild<QLabel*>("Label3(4)")->y());
    QCOMPARE(wrapped->toolTip(), "文件保存到:" + folder);
    auto* cardInfo = window.findChild<QLabel*>("lblCardInfo");
    QVERIFY(cardInfo->text().startsWith("无法加载板卡库: "));
    QVERIFY(cardInfo->text().endsWith("…/libadcard.so"));
    QVERIFY(cardInfo->geometry().right() < window.findChild<QWidget*>("txtInfo")->x());
    QVERIFY(cardInfo->toolTip().startsWith("无法加载板卡库: " + library + "\n"));

    FrmMultiBuf shortFolder(ADCARD_PATH, "/d/kzb");
    QCOMPARE(shortFolder.findChild<QLabel*>("Label3(3)")->text(), QString("文件保存到:/d/kzb"));
    QVERIFY(shortFolder.findChild<QLabel*>("Label3(3)")->toolTip().isEmpty());
  }

  void initialStates() {
    WindowOnSimCard f;
    QCOMPARE(CheckValue(f.Find<QCheckBox>("chkDisp")), 1);
    QCOMPARE(CheckValue(f.Find<QCheckBox>("chkSaveData")), 0);
    QCOMPARE(f.Find<UpDownSpinner>("UpDownBitNum")->property("value").toInt(), 1);
    QCOMPARE(f.Find<UpDownSpinner>("UpDownBitNum")->minimum(), 1);
    QCOMPARE(f.Find<UpDownSpinner>("UpDownBitNum")->maximum(), 16);
    QVERIFY(f.Find<QPushButton>("cmdStart")->isEnabled());
    QVERIFY(!f.Find<QPushButton>("cmdStop")->isEnabled());
    QVERIFY(f.Find<QPlainTextEdit>("txtInfo")->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn);

    QCOMPARE(f.Find<QLabel>("lblAD(2)")->palette().color(QPalette::Window), QColor(255, 192, 128));
    const QFont di = f.Find<QLabel>("lblDI")->font();
    QCOMPARE(di.pointSizeF(), 21.75);
    QCOMPARE(di.families().value(0), QString("宋体"));
    QCOMPARE(di.weight(), QFont::Normal);

    auto* timerAD = f.window->findChild<QTimer*>("TimerAD");
    auto* timerDI = f.window->findChild<QTimer*>("Timer_DI");
    QVERIFY(timerAD && timerDI);
    QCOMPARE(timerAD->interval(), 200);
    QCOMPARE(timerDI->interval(), 1000);
    QVERIFY(timerAD->isActive());
    QVERIFY(timerDI->isActive());

    for (auto* button : f.window->findChildren<QPushButton*>()) {
      QVERIFY(!button->autoDefault());
      QVERIFY(!button->isDefault());
    }
  }

  void checkStatesReadAsNumbers() {
    QCheckBox box;
    const int values[] = {0, 1, 2};
    for (int v : values) {
      SetCheckValue(&box, v);
      QCOMPARE(CheckValue(&box), v);
    }
    box.setCheckState(Qt::PartiallyChecked);
    QCOMPARE(CheckValue(&box), 2);
  }

  void focusOrder() {
    WindowOnSimCard f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("cmdExit"));
    // cmdStop is disabled at start-up, so Tab passes over it.
    const QStringList order = {"cmdStart",       "cmdSWO",       "txtSWO_0",    "txtswChn",
                               "txtInfo",        "chkDisp",      "txtDOValue",  "txtDOChn",
                               "cmdDOOutput",    "UpDownBitNum", "chkSaveData", "txtSaveFileNum",
                               "txtBlockNumMax", "cmdExit"};
    for (const QString& next : order) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget()->objectName(), next);
    }
    QStringList full;
    for (QWidget* w = f.Find("cmdExit"); full.size() < 15; w = w->nextInFocusChain()) {
      if (w->focusPolicy() & Qt::TabFocus) full << w->objectName();
    }
    QCOMPARE(full,
             QStringList({"cmdExit", "cmdStart", "cmdSWO", "txtSWO_0", "cmdStop", "txtswChn",
                          "txtInfo", "chkDisp", "txtDOValue", "txtDOChn", "cmdDOOutput",
                          "UpDownBitNum", "chkSaveData", "txtSaveFileNum", "txtBlockNumMax"}));
  }

  void spinner() {
    UpDownSpinner spin;
    spin.setMinimum(1);
    spin.setMaximum(16);
    QSignalSpy changed(&spin, &UpDownSpinner::valueChanged);
    spin.setValue(4);
    spin.setValue(4);
    QCOMPARE(changed.count(), 1);
    QTest::keyClick(&spin, Qt::Key_Up);
    QCOMPARE(spin.value(), 5);
    spin.downButton()->click();
    QCOMPARE(spin.value(), 4);
    spin.setValue(16);
    spin.upButton()->click();  // no wrap at the ends
    QCOMPARE(spin.value(), 16);
    spin.setValue(-50);
    QCOMPARE(spin.value(), 1);
    QCOMPARE(changed.count(), 5);
  }
};

QTEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"

// The digital input monitor and both output panels, driven through the window; the card's
// call log shows what reached it.
#include "WindowFixture.h"

class DigitalIoWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void inputCaptions_data() {
    QTest::addColumn<int>("word0");
    QTest::addColumn<int>("word1");
    QTest::addColumn<QString>("lblDI");
    QTest::addColumn<QString>("lblDI_0");
    QTest::addColumn<QString>("lblDI_1");
    QTest::newRow("A5 3C") << 0x00A5 << 0x003C << "A5  3C"
                           << "A5      1   0   1   0   0   1   0   1"
                           << "3C      0   0   1   1   1   1   0   0";
    QTest::newRow("zeros") << 0 << 0 << "0  0"
                           << "0      0   0   0   0   0   0   0   0"
                           << "0      0   0   0   0   0   0   0   0";
    QTest::newRow("FFFF 1FF") << 0xFFFF << 511 << "FFFF  1FF"
                              << "FFFF      1   1   1   1   1   1   1   1"
                              << "1FF      1   1   1   1   1   1   1   1";
  }
  void inputCaptions() {
    QFETCH(int, word0);
    QFETCH(int, word1);
    QFETCH(QString, lblDI);
    QFETCH(QString, lblDI_0);
    QFETCH(QString, lblDI_1);
    WindowOnSimCard f;
    SimCard_SetInputs(static_cast<int16_t>(word0), static_cast<int16_t>(word1));
    f.window->Timer_DI_Timer();
    QCOMPARE(f.Caption("lblDI"), lblDI);
    QCOMPARE(f.Caption("lblDI_0"), lblDI_0);
    QCOMPARE(f.Caption("lblDI_1"), lblDI_1);
    QCOMPARE(f.Caption("lblBit"), QString("            7   6   5   4   3   2   1   0"));
    QCOMPARE(LastArg("Kzb_DI", 0), 2);
  }

  void aSilentCardShowsThePreviousWords() {
    WindowOnSimCard f;
    SimCard_SetInputsSilent(1);
    f.window->Timer_DI_Timer();
    QCOMPARE(f.Caption("lblDI"), QString("0  0"));
    SimCard_SetInputsSilent(0);
    SimCard_SetInputs(0x12, 0x34);
    f.window->Timer_DI_Timer();
    SimCard_SetInputsSilent(1);
    SimCard_SetInputs(0x56, 0x78);
    f.window->Timer_DI_Timer();
    QCOMPARE(f.Caption("lblDI"), QString("12  34"));
  }

  void typingAChannel_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    const std::pair<const char*, const char*> cases[] = {
        {"17", " 16"}, {"0", " 1"},      {"-5", " 1"},           {"", " 1"},
        {"3.5", " 4"}, {"2.5", " 2"},    {"7abc", " 7"},         {"05", " 5"},
        {"12", " 12"}, {"99999", " 16"}, {"-99999999999", " 1"}, {"1e400", " 16"}};
    for (auto [typed, field] : cases) QTest::newRow(typed) << QString(typed) << QString(field);
  }
  void typingAChannel() {
    QFETCH(QString, typed);
    QFETCH(QString, field);
    WindowOnSimCard f;
    auto* text = f.Find<QLineEdit>("txtDOChn");
    auto* spin = f.Find<UpDownSpinner>("UpDownBitNum");
    spin->setValue(5);
    // The operator replaces the whole text at once, as a paste over a selection does.
    text->selectAll();
    text->insert(typed);
    QCOMPARE(text->text(), field);
    QCOMPARE(spin->value(), field.trimmed().toInt());
  }

  void typingKeyByKeyKeepsTheFieldInRange() {
    WindowOnSimCard f;
    auto* text = f.Find<QLineEdit>("txtDOChn");
    text->selectAll();
    QTest::keyClicks(text, "12");  // "1" becomes " 1", then " 12"
    QCOMPARE(text->text(), QString(" 12"));
    QTest::keyClick(text, Qt::Key_Backspace);
    QTest::keyClick(text, Qt::Key_Backspace);
    QCOMPARE(text->text(), QString(" 1"));  // never left empty
  }

  void theSpinnerWritesTheField() {
    WindowOnSimCard f;
    auto* spin = f.Find<UpDownSpinner>("UpDownBitNum");
    f.Find<QLineEdit>("txtDOChn")->setText("4");
    QCOMPARE(spin->value(), 4);
    spin->upButton()->click();
    QCOMPARE(f.Find<QLineEdit>("txtDOChn")->text(), QString(" 5"));
    QCOMPARE(spin->value(), 5);
  }

  void doubleClickTogglesTheValue_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("after");
    const std::pair<const char*, const char*> cases[] = {{"0", " 1"},   {" 0", " 1"}, {"1", " 0"},
                                                         {"5", " 0"},   {"-1", " 0"}, {"0.3", " 0"},
                                                         {"abc", " 1"}, {"", " 1"}};
    for (auto [before, after] : cases) {
      QTest::newRow(before) << QString(before) << int(Qt::LeftButton) << QString(after);
    }
    QTest::newRow("middle button") << "0" << int(Qt::MiddleButton) << "0";
    QTest::newRow("right button") << "0" << int(Qt::RightButton) << "0";
  }
  void doubleClickTogglesTheValue() {
    QFETCH(QString, before);
    QFETCH(int, button);
    QFETCH(QString, after);
    WindowOnSimCard f;
    auto* value = f.Find<QLineEdit>("txtDOValue");
    value->setText(before);
    QTest::mouseDClick(value, static_cast<Qt::MouseButton>(button));
    QCOMPARE(value->text(), after);
  }

  void outputBit_data() {
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("bitSent");
    QTest::addColumn<int>("valueSent");
    QTest::newRow("16 / 1") << "16"
                            << "1" << 15 << 1;
    QTest::newRow("1 / 0") << "1"
                           << "0" << 0 << 0;
    QTest::newRow("value 2") << "3"
                             << "2" << 2 << 1;
    QTest::newRow("value -1") << "3"
                              << "-1" << 2 << 1;
    QTest::newRow("value abc") << "3"
                               << "abc" << 2 << 0;
    QTest::newRow("value 0.5") << "3"
                               << "0.5" << 2 << 0;
    QTest::newRow("value 1.5") << "3"
                               << "1.5" << 2 << 1;
    QTest::newRow("value huge") << "3"
                                << "1e30" << 2 << 1;
    QTest::newRow("no length limit") << "3" << QString(40000, ' ') + "5" << 2 << 1;
  }
  void outputBit() {
    QFETCH(QString, channel);
    QFETCH(QString, value);
    QFETCH(int, bitSent);
    QFETCH(int, valueSent);
    WindowOnSimCard f;
    f.Find<QLineEdit>("txtDOChn")->setText(channel);
    f.Find<QLineEdit>("txtDOValue")->setText(value);
    f.Find<QPushButton>("cmdDOOutput")->click();
    QCOMPARE(SimCard_CallCount("Kzb_DOBit"), 1);
    QCOMPARE(LastArg("Kzb_DOBit", 0), bitSent);
    QCOMPARE(LastArg("Kzb_DOBit", 1), valueSent);
    QCOMPARE(f.Find<QLineEdit>("txtDOValue")->text(), " " + QString::number(valueSent));
  }

  void outputByte_data() {
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<int>("groupSent");
    QTest::addColumn<int>("byteSent");
    const struct {
      const char *group, *hex;
      int groupSent, byteSent;
    } cases[] = {{"0", "A5", 0, 165},
                 {"1", "a5", 1, 165},
                 {"2", "FF", 1, 255},
                 {"9", "1FF", 1, 255},
                 {"1.5", "100", 1, 0},
                 {"0.5", "FFFF", 0, 255},
                 {"", "8000", 0, 0},
                 {"abc", "00", 0, 0},
                 {"-1", "", -1, 0},
                 {"0", "G1", 0, 0},
                 {"0", "1G", 0, 1},
                 {"0", "0x10", 0, 0},
                 {"99999", "123456789A", 1, 0x9A},
                 {"-99999", "3C", -32768, 0x3C}};
    for (const auto& c : cases) {
      QTest::addRow("%s/%s", c.group, c.hex) << c.group << c.hex << c.groupSent << c.byteSent;
    }
  }
  void outputByte() {
    QFETCH(QString, group);
    QFETCH(QString, hex);
    QFETCH(int, groupSent);
    QFETCH(int, byteSent);
    WindowOnSimCard f;
    f.Find<QLineEdit>("txtswChn")->setText(group);
    f.Find<QLineEdit>("txtSWO_0")->setText(hex);
    f.Find<QPushButton>("cmdSWO")->click();
    QCOMPARE(LastArg("Kzb_DO", 0), groupSent);
    QCOMPARE(LastArg("Kzb_DO", 1), byteSent);
    QCOMPARE(f.window->SwoValue(0), byteSent);
    QCOMPARE(f.Find<QLineEdit>("txtswChn")->text(), group);  // neither field is rewritten
    QCOMPARE(f.Find<QLineEdit>("txtSWO_0")->text(), hex);
  }

  void theSimulatedCardLoopsOutputsBack() {
    SimCard_Reset();
    QTemporaryDir dir;
    FrmMultiBuf window(ADCARD_PATH, dir.path().toStdString());
    window.findChild<QLineEdit*>("txtDOChn")->setText("4");
    window.findChild<QLineEdit*>("txtDOValue")->setText("1");
    window.findChild<QPushButton*>("cmdDOOutput")->click();
    auto* lblDI = window.findChild<QLabel*>("lblDI");
    QTRY_COMPARE_WITH_TIMEOUT(lblDI->text(), QString("8  0"), 2500);  // the next one-second tick
  }
};

QTEST_MAIN(DigitalIoWindowTest)
#include "DigitalIoWindowTest.moc"

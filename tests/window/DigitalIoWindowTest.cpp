#include <QtTest>
class DigitalIoWindowTest : public QObject {
  Q_OBJECT
};
QTEST_MAIN(DigitalIoWindowTest)
#include "DigitalIoWindowTest.moc"

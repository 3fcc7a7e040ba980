#include <QtTest>
class WindowLayoutTest : public QObject {
  Q_OBJECT
};
QTEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"

#include <QtTest>
class LifetimeTest : public QObject {
  Q_OBJECT
};
QTEST_MAIN(LifetimeTest)
#include "LifetimeTest.moc"

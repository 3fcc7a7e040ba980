#include <QtTest>
class DataFileWindowTest : public QObject {
  Q_OBJECT
};
QTEST_MAIN(DataFileWindowTest)
#include "DataFileWindowTest.moc"

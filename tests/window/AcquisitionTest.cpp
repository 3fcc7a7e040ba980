#include <QtTest>
class AcquisitionTest : public QObject {
  Q_OBJECT
};
QTEST_MAIN(AcquisitionTest)
#include "AcquisitionTest.moc"

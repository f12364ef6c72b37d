#include <QtTest>

class Testcpucard : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testcpucard)
#include "tst_cpucard.moc"

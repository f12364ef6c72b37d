#include <QtTest>

class Testsimcpu : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testsimcpu)
#include "tst_simcpu.moc"

#include <QtTest>

class Testsimidentity : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testsimidentity)
#include "tst_simidentity.moc"

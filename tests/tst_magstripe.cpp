#include <QtTest>

class Testmagstripe : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testmagstripe)
#include "tst_magstripe.moc"

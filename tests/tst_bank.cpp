#include <QtTest>

class Testbank : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testbank)
#include "tst_bank.moc"

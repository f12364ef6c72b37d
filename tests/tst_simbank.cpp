#include <QtTest>

class Testsimbank : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testsimbank)
#include "tst_simbank.moc"

#include <QtTest>

class Testsimcards : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testsimcards)
#include "tst_simcards.moc"

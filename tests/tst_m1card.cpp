#include <QtTest>

class Testm1card : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testm1card)
#include "tst_m1card.moc"

#include <QtTest>

class Testidentity : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testidentity)
#include "tst_identity.moc"

#include <QtTest>

class Testsocialsecurity : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testsocialsecurity)
#include "tst_socialsecurity.moc"

#include <QtTest>

class Testqrcode : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Testqrcode)
#include "tst_qrcode.moc"

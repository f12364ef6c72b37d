#include <QtTest>
class TestRealWindow : public QObject
{
    Q_OBJECT
};
QTEST_MAIN(TestRealWindow)
#include "tst_realwindow.moc"

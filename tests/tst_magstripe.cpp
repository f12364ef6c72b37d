// Tab "磁条卡": reading and writing the three tracks against the fake device
// library.
#include "fakedevice.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QtTest>

using namespace windowtest;

namespace {
void setTracks(const QObject *window, const QString &one, const QString &two, const QString &three)
{
    setText(window, "lineEdit_MagTrack1", one);
    setText(window, "lineEdit_MagTrack2", two);
    setText(window, "lineEdit_MagTrack3", three);
}

QStringList tracks(const QObject *window)
{
    return {text(window, "lineEdit_MagTrack1"), text(window, "lineEdit_MagTrack2"),
            text(window, "lineEdit_MagTrack3")};
}
} // namespace

class TestMagStripe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindLoadedLibrary();
    }
    void init() { fakedevice::reset(); }
    void cleanup() { QCOMPARE(takeWarnings(), QStringList()); }

    void defaultsSelectAllTracksWithTenSeconds()
    {
        MainWindow window;
        click(&window, "pushButton_16");
        QCOMPARE(fakedevice::lastArgs("MagRead"),
                 (QVariantList{qint64(123), true, true, true, qint64(10)}));
        click(&window, "pushButton_17");
        QCOMPARE(fakedevice::lastArgs("MagWrite"),
                 (QVariantList{qint64(123), QByteArray(), QByteArray(), QByteArray(), qint64(10)}));
    }

    void selectionAndTimeoutAreDecimalBytes_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<qint64>("selectionByte");
        QTest::addColumn<qint64>("timeoutByte");
        QTest::newRow("tracks 2 and 3") << "23"
                                        << "10" << qint64(23) << qint64(10);
        QTest::newRow("321 keeps its low byte") << "321"
                                                << "5" << qint64(65) << qint64(5);
        QTest::newRow("300 seconds") << "1"
                                     << "300" << qint64(1) << qint64(44);
    }

    void selectionAndTimeoutAreDecimalBytes()
    {
        QFETCH(QString, selection);
        QFETCH(QString, timeout);
        QFETCH(qint64, selectionByte);
        QFETCH(qint64, timeoutByte);
        MainWindow window;
        setText(&window, "comboBox_MagTracks", selection);
        setText(&window, "lineEdit_MagTimeOut", timeout);
        click(&window, "pushButton_16");
        click(&window, "pushButton_17");
        const QVariantList read = fakedevice::lastArgs("MagRead");
        const QVariantList write = fakedevice::lastArgs("MagWrite");
        QCOMPARE(read.value(0).toLongLong(), selectionByte);
        QCOMPARE(read.value(4).toLongLong(), timeoutByte);
        QCOMPARE(write.value(0).toLongLong(), selectionByte);
        QCOMPARE(write.value(4).toLongLong(), timeoutByte);
    }

    void readOverwritesAllThreeFields()
    {
        MainWindow window;
        setTracks(&window, "old 1", "old 2", "old 3");
        setText(&window, "comboBox_MagTracks", "13");
        // Track 2 was not selected, and its buffer comes back untouched.
        fakedevice::script("MagRead",
                           {0, {"B6999^TESTER/CARD^2812", QByteArray(), "99磁道=3"}, {}});
        click(&window, "pushButton_16");
        QCOMPARE(status(&window), QStringLiteral("读取磁条卡成功"));
        QCOMPARE(tracks(&window),
                 (QStringList{"B6999^TESTER/CARD^2812", "", QStringLiteral("99磁道=3")}));
    }

    void trackWithoutZeroByteEndsAtItsBuffer()
    {
        MainWindow window;
        fakedevice::script("MagRead", {0, {QByteArray(512, '1'), QByteArray(600, '2'), "3"}, {}});
        click(&window, "pushButton_16");
        QCOMPARE(tracks(&window), (QStringList{QString(512, '1'), QString(512, '2'), "3"}));
    }

    void writeSendsTheFieldsAsUtf8()
    {
        MainWindow window;
        setTracks(&window, QStringLiteral("B6999^测试/卡^2812"), "", "996999=156");
        click(&window, "pushButton_17");
        QCOMPARE(status(&window), QStringLiteral("写入磁条卡成功"));
        QCOMPARE(fakedevice::lastArgs("MagWrite"),
                 (QVariantList{qint64(123), QStringLiteral("B6999^测试/卡^2812").toUtf8(),
                               QByteArray(), QByteArray("996999=156"), qint64(10)}));
        QCOMPARE(tracks(&window),
                 (QStringList{QStringLiteral("B6999^测试/卡^2812"), "", "996999=156"}));

        fakedevice::script("MagWrite", -61);
        click(&window, "pushButton_17");
        QCOMPARE(status(&window), QStringLiteral("写入磁条卡失败，错误代码：-61"));
        QCOMPARE(tracks(&window),
                 (QStringList{QStringLiteral("B6999^测试/卡^2812"), "", "996999=156"}));
    }
};

QTEST_MAIN(TestMagStripe)
#include "tst_magstripe.moc"

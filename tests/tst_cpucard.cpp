// Tab "CPU卡": power on, APDU exchange and power off, the slot byte and the
// checks on the typed command.
#include "fakedevice.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QComboBox>
#include <QtTest>

using namespace windowtest;

namespace {
QStringList callNames()
{
    QStringList names;
    for (const fakedevice::Call &call : fakedevice::calls())
        names.append(QString::fromLatin1(call.name));
    return names;
}

const QString parityMessage = QStringLiteral("发送APDU的数据应为偶数个HEX字符");
const QString tooLongMessage =
    QStringLiteral("发送APDU的数据过长，最多2048个HEX字符（1024个字节）");
} // namespace

class TestCpuCard : public QObject
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

    void slotIsTheLeadingTwoCharactersAsOneHexByte_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("converted");
        QTest::addColumn<qint64>("slot");
        QTest::newRow("full size") << 0 << QString() << QByteArray("01") << qint64(0x01);
        QTest::newRow("PSAM1 is hex 11") << 1 << QString() << QByteArray("11") << qint64(0x11);
        QTest::newRow("PSAM3") << 3 << QString() << QByteArray("13") << qint64(0x13);
        QTest::newRow("Type A") << 4 << QString() << QByteArray("41") << qint64(0x41);
        QTest::newRow("Type B") << 5 << QString() << QByteArray("42") << qint64(0x42);
        QTest::newRow("typed") << -1 << "02" << QByteArray("02") << qint64(0x02);
        QTest::newRow("lower case") << -1 << "fe 自定义" << QByteArray("fe") << qint64(0xFE);
        QTest::newRow("one character padded") << -1 << "7" << QByteArray("70") << qint64(0x70);
        QTest::newRow("empty padded") << -1 << "" << QByteArray("00") << qint64(0x00);
        QTest::newRow("not hex, unchanged") << -1 << "G1" << QByteArray("G1") << qint64(0x00);
    }

    void slotIsTheLeadingTwoCharactersAsOneHexByte()
    {
        QFETCH(int, item);
        QFETCH(QString, typed);
        QFETCH(QByteArray, converted);
        QFETCH(qint64, slot);
        MainWindow window;
        if (item >= 0)
            child<QComboBox>(&window, "comboBox_Slot")->setCurrentIndex(item);
        else
            setText(&window, "comboBox_Slot", typed);
        for (const char *button : {"pushButton_18", "pushButton_19", "pushButton_20"})
            click(&window, button);
        for (const char *entry : {"CpuPowerOn", "CpuApdu", "CpuPowerOff"})
            QCOMPARE(fakedevice::lastArgs(entry).value(0).toLongLong(), slot);
        // Every conversion but the second, which is the command's.
        const QList<fakedevice::Call> conversions = fakedevice::callsOf("AscToHex");
        QCOMPARE(conversions.size(), 4);
        for (int i : {0, 2, 3})
            QCOMPARE(conversions.at(i).args, (QVariantList{converted, qint64(1), true}));
    }

    void powerOnShowsTheAtrAndAFailureKeepsIt()
    {
        MainWindow window;
        const QByteArray atr = QByteArray::fromHex("3B6C0000AB");
        fakedevice::script("CpuPowerOn", {0, {atr}, {atr.size()}});
        click(&window, "pushButton_18");
        QCOMPARE(status(&window), QStringLiteral("CPU卡上电成功"));
        QCOMPARE(text(&window, "lineEdit_ATRS"), QStringLiteral("3B6C0000AB"));
        QCOMPARE(fakedevice::lastArgs("CpuPowerOn"), (QVariantList{qint64(1), true, qint64(0)}));
        QCOMPARE(callNames(), (QStringList{"AscToHex", "CpuPowerOn", "HexToAsc"}));

        fakedevice::script("CpuPowerOn", {-70, {QByteArray(4, '\x11')}, {4}});
        click(&window, "pushButton_18");
        QCOMPARE(status(&window), QStringLiteral("CPU卡上电失败，错误代码：-70"));
        QCOMPARE(text(&window, "lineEdit_ATRS"), QStringLiteral("3B6C0000AB"));
    }

    void returnedCountsAreBoundedByBothBuffers_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<int>("shownBytes");
        QTest::newRow("ATR") << QByteArray("pushButton_18") << QByteArray("CpuPowerOn") << qint64(9)
                             << 9;
        QTest::newRow("ATR fills the text")
            << QByteArray("pushButton_18") << QByteArray("CpuPowerOn") << qint64(128) << 127;
        QTest::newRow("ATR beyond") << QByteArray("pushButton_18") << QByteArray("CpuPowerOn")
                                    << std::numeric_limits<qint64>::max() << 127;
        QTest::newRow("ATR negative")
            << QByteArray("pushButton_18") << QByteArray("CpuPowerOn") << qint64(-1) << 0;
        QTest::newRow("response") << QByteArray("pushButton_19") << QByteArray("CpuApdu")
                                  << qint64(10) << 10;
        QTest::newRow("response fills the text")
            << QByteArray("pushButton_19") << QByteArray("CpuApdu") << qint64(1024) << 1023;
        QTest::newRow("response beyond")
            << QByteArray("pushButton_19") << QByteArray("CpuApdu") << qint64(1 << 20) << 1023;
        QTest::newRow("response negative") << QByteArray("pushButton_19") << QByteArray("CpuApdu")
                                           << std::numeric_limits<qint64>::min() << 0;
    }

    void returnedCountsAreBoundedByBothBuffers()
    {
        QFETCH(QByteArray, button);
        QFETCH(QByteArray, entry);
        QFETCH(qint64, count);
        QFETCH(int, shownBytes);
        MainWindow window;
        const char *output = entry == "CpuApdu" ? "textEdit_RecvApdu" : "lineEdit_ATRS";
        setText(&window, output, "previous");
        fakedevice::script(entry, {0, {QByteArray(1024, '\x9A')}, {count}});
        click(&window, button);
        QCOMPARE(text(&window, output), QString("9A").repeated(shownBytes));
        QCOMPARE(fakedevice::lastArgs("HexToAsc").value(1).toLongLong(), qint64(shownBytes));
    }

    void defaultCommandGoesAsFiveBytesToSlotOne()
    {
        MainWindow window;
        setText(&window, "textEdit_RecvApdu", "previous");
        const QByteArray response = QByteArray::fromHex("0123456789ABCDEF9000");
        fakedevice::script("CpuApdu", {0, {response}, {response.size()}});
        click(&window, "pushButton_19");
        QCOMPARE(status(&window), QStringLiteral("CPU卡发送APDU成功"));
        QCOMPARE(text(&window, "textEdit_RecvApdu"), QStringLiteral("0123456789ABCDEF9000"));
        QCOMPARE(callNames(), (QStringList{"AscToHex", "AscToHex", "CpuApdu", "HexToAsc"}));
        QCOMPARE(fakedevice::callsOf("AscToHex").first().args,
                 (QVariantList{QByteArray("0084000008"), qint64(5), true}));
        QCOMPARE(fakedevice::lastArgs("CpuApdu"),
                 (QVariantList{qint64(1), qint64(5), QByteArray::fromHex("0084000008"), true,
                               qint64(0)}));

        fakedevice::script("CpuApdu", {-71, {QByteArray(2, '\x6A')}, {2}});
        click(&window, "pushButton_19");
        QCOMPARE(status(&window), QStringLiteral("CPU卡发送APDU失败，错误代码：-71"));
        QCOMPARE(text(&window, "textEdit_RecvApdu"), QStringLiteral("0123456789ABCDEF9000"));
    }

    void commandIsHalfItsCharactersUncleaned_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("converted");
        QTest::addColumn<qint64>("count");
        QTest::newRow("empty") << "" << QByteArray() << qint64(0);
        QTest::newRow("spaces counted") << "00 84 00" << QByteArray("00 84 00") << qint64(4);
        QTest::newRow("any twelve") << "zz00zz00zz00" << QByteArray("zz00zz00zz00") << qint64(6);
        QTest::newRow("largest") << QString("A5").repeated(1024) << QByteArray("A5").repeated(1024)
                                 << qint64(1024);
        // Two characters are one byte, whatever their UTF-8 length.
        QTest::newRow("wide characters") << "数据" << QByteArray("数据").left(2) << qint64(1);
    }

    void commandIsHalfItsCharactersUncleaned()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, converted);
        QFETCH(qint64, count);
        MainWindow window;
        setText(&window, "comboBox_SendApdu", command);
        click(&window, "pushButton_19");
        QCOMPARE(fakedevice::callsOf("AscToHex").first().args,
                 (QVariantList{converted, count, true}));
        QCOMPARE(fakedevice::lastArgs("CpuApdu").value(1).toLongLong(), count);
        QCOMPARE(status(&window), QStringLiteral("CPU卡发送APDU成功"));
    }

    void badCommandTextCallsNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("message");
        QTest::newRow("eleven") << "00840000080" << parityMessage;
        QTest::newRow("one") << "0" << parityMessage;
        QTest::newRow("odd and too long") << QString(2049, 'A') << parityMessage;
        QTest::newRow("too long") << QString(2050, 'A') << tooLongMessage;
        QTest::newRow("longest the field takes") << QString(32766, 'A') << tooLongMessage;
    }

    void badCommandTextCallsNothing()
    {
        QFETCH(QString, command);
        QFETCH(QString, message);
        MainWindow window;
        setText(&window, "textEdit_RecvApdu", "previous");
        setText(&window, "comboBox_SendApdu", command);
        click(&window, "pushButton_19");
        QCOMPARE(status(&window), message);
        QCOMPARE(text(&window, "textEdit_RecvApdu"), QStringLiteral("previous"));
        QVERIFY(fakedevice::calls().isEmpty());
    }

    void powerOffClearsNoField()
    {
        MainWindow window;
        setText(&window, "lineEdit_ATRS", "3B00");
        setText(&window, "textEdit_RecvApdu", "9000");
        click(&window, "pushButton_20");
        QCOMPARE(status(&window), QStringLiteral("CPU卡下电成功"));
        QCOMPARE(callNames(), (QStringList{"AscToHex", "CpuPowerOff"}));
        fakedevice::script("CpuPowerOff", 7);
        click(&window, "pushButton_20");
        QCOMPARE(status(&window), QStringLiteral("CPU卡下电失败，错误代码：7"));
        QCOMPARE(text(&window, "lineEdit_ATRS"), QStringLiteral("3B00"));
        QCOMPARE(text(&window, "textEdit_RecvApdu"), QStringLiteral("9000"));
    }

    void missingExportComesBeforeEveryCheck_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("message");
        auto row = [](const char *name, const char *button, EntryPoint entry, QString command,
                      const char *message) {
            QTest::newRow(name) << QByteArray(button) << static_cast<int>(entry) << command
                                << QString::fromUtf8(message);
        };
        row("apdu before parity", "pushButton_19", EntryPoint::CpuApdu, "008",
            "CPU卡发送APDU失败，接口库未导出CpuApdu");
        row("apdu before length", "pushButton_19", EntryPoint::HexToAsc, QString(2050, '0'),
            "CPU卡发送APDU失败，接口库未导出HexToAsc");
    }

    void missingExportComesBeforeEveryCheck()
    {
        QFETCH(QByteArray, button);
        QFETCH(int, entry);
        QFETCH(QString, command);
        QFETCH(QString, message);
        MainWindow window;
        setText(&window, "comboBox_SendApdu", command);
        const Unbound unbound(static_cast<EntryPoint>(entry));
        click(&window, button);
        QCOMPARE(status(&window), message);
        QVERIFY(fakedevice::calls().isEmpty());
    }
};

QTEST_MAIN(TestCpuCard)
#include "tst_cpucard.moc"

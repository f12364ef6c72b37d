// Tab "M1卡": find card, authentication, read block and write block against
// the fake device library.
#include "fakedevice.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QComboBox>
#include <QtTest>

using namespace windowtest;

namespace {
const QString keyLengthMessage = QStringLiteral("M1卡密钥长度错误，应为12个HEX字符（6个字节）");
const QString blockLengthMessage =
    QStringLiteral("M1卡写块数据长度错误，应为32个HEX字符（16个字节）");

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

// Bytes 0x00, 0x01, ... as a test pattern of any length.
QByteArray counting(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i);
    return bytes;
}

QString upperHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

void findCard(MainWindow &window, const QByteArray &uid)
{
    fakedevice::script("M1FindCard", {0, {uid}, {uid.size()}});
    click(&window, "pushButton_12");
}
} // namespace

class TestM1Card : public QObject
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

    void findCardShowsTheUidInHex_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<qint64>("converted");
        QTest::newRow("4-byte UID") << hex("5A1FC327") << qint64(4) << "5A1FC327" << qint64(4);
        QTest::newRow("7-byte UID")
            << hex("04A1B2C3D4E5F6") << qint64(7) << "04A1B2C3D4E5F6" << qint64(7);
        // A 32-byte text holds 15 bytes with its terminating zero.
        QTest::newRow("full byte buffer")
            << counting(16) << qint64(16) << upperHex(counting(15)) << qint64(15);
        QTest::newRow("count beyond the buffer")
            << counting(16) << (qint64(1) << 40) << upperHex(counting(15)) << qint64(15);
        QTest::newRow("negative count") << hex("5A1FC327") << qint64(-4) << "" << qint64(0);
        QTest::newRow("no bytes") << QByteArray() << qint64(0) << "" << qint64(0);
    }

    void findCardShowsTheUidInHex()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, count);
        QFETCH(QString, shown);
        QFETCH(qint64, converted);
        MainWindow window;
        fakedevice::script("M1FindCard", {0, {bytes}, {count}});
        click(&window, "pushButton_12");
        QCOMPARE(status(&window), QStringLiteral("M1卡寻卡成功"));
        QCOMPARE(text(&window, "lineEdit_UID"), shown);
        QCOMPARE(fakedevice::lastArgs("M1FindCard"), (QVariantList{true, qint64(0)}));
        QCOMPARE(fakedevice::lastArgs("HexToAsc").value(1).toLongLong(), converted);
    }

    void failedFindCardKeepsTheUidThatAuthenticationUses()
    {
        MainWindow window;
        findCard(window, hex("04A1B2C3D4E5F6"));
        fakedevice::script("M1FindCard", {-50, {hex("11223344")}, {4}});
        click(&window, "pushButton_12");
        QCOMPARE(status(&window), QStringLiteral("M1卡寻卡失败，错误代码：-50"));
        QCOMPARE(text(&window, "lineEdit_UID"), QStringLiteral("04A1B2C3D4E5F6"));

        fakedevice::reset();
        click(&window, "pushButton_13");
        QCOMPARE(status(&window), QStringLiteral("M1卡密钥认证成功"));
        const QList<fakedevice::Call> calls = fakedevice::calls();
        QCOMPARE(calls.size(), 3);
        QCOMPARE(calls[0].name, QByteArray("AscToHex"));
        QCOMPARE(calls[0].args, (QVariantList{QByteArray("3C7E19B4D2A6"), qint64(6), true}));
        QCOMPARE(calls[1].name, QByteArray("AscToHex"));
        QCOMPARE(calls[1].args, (QVariantList{QByteArray("04A1B2C3"), qint64(4), true}));
        QCOMPARE(calls[2].name, QByteArray("M1Authentication"));
        QCOMPARE(calls[2].args,
                 (QVariantList{qint64('A'), qint64(0), hex("3C7E19B4D2A6"), hex("04A1B2C3")}));
    }

    void authenticationPassesKeyTypeAndSectorAsBytes_data()
    {
        QTest::addColumn<QString>("keyType");
        QTest::addColumn<QString>("sector");
        QTest::addColumn<qint64>("keyTypeByte");
        QTest::addColumn<qint64>("sectorByte");
        QTest::newRow("defaults") << "A"
                                  << "0" << qint64(0x41) << qint64(0);
        QTest::newRow("item B") << "B"
                                << "15" << qint64(0x42) << qint64(15);
        QTest::newRow("typed lower case") << "b"
                                          << "1" << qint64(0x62) << qint64(1);
        QTest::newRow("typed word") << "Bkey"
                                    << "300" << qint64(0x42) << qint64(44);
        QTest::newRow("empty key type") << ""
                                        << "-1" << qint64(0) << qint64(255);
        QTest::newRow("latin-1 letter") << "é"
                                        << "256" << qint64(0xE9) << qint64(0);
        QTest::newRow("beyond latin-1") << "甲"
                                        << "seven" << qint64(0) << qint64(0);
        QTest::newRow("empty sector") << "A"
                                      << "" << qint64(0x41) << qint64(0);
    }

    void authenticationPassesKeyTypeAndSectorAsBytes()
    {
        QFETCH(QString, keyType);
        QFETCH(QString, sector);
        QFETCH(qint64, keyTypeByte);
        QFETCH(qint64, sectorByte);
        MainWindow window;
        auto *keyTypes = child<QComboBox>(&window, "comboBox_KeyType");
        const int item = keyTypes->findText(keyType);
        if (item >= 0)
            keyTypes->setCurrentIndex(item);
        else
            keyTypes->setEditText(keyType);
        setText(&window, "lineEdit_SecAddr", sector);
        click(&window, "pushButton_13");
        const QVariantList args = fakedevice::lastArgs("M1Authentication");
        QCOMPARE(args.value(0).toLongLong(), keyTypeByte);
        QCOMPARE(args.value(1).toLongLong(), sectorByte);
    }

    void keyOfWrongLengthCallsNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("11") << "3C7E19B4D2A";
        QTest::newRow("13") << "3C7E19B4D2A6F";
        QTest::newRow("empty") << "";
        QTest::newRow("six wide characters") << "密钥密钥密钥";
    }

    void keyOfWrongLengthCallsNothing()
    {
        QFETCH(QString, key);
        MainWindow window;
        setText(&window, "lineEdit_Key", key);
        click(&window, "pushButton_13");
        QCOMPARE(status(&window), keyLengthMessage);
        QVERIFY(fakedevice::calls().isEmpty());
    }

    void anyTwelveCharactersReachTheConversion_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("not hex") << "ZZZZ-ZZZZ-ZZ";
        QTest::newRow("lower case") << "3c7e19b4d2a6";
        QTest::newRow("wide characters") << "密钥密钥密钥密钥密钥密钥";
    }

    void anyTwelveCharactersReachTheConversion()
    {
        QFETCH(QString, key);
        MainWindow window;
        setText(&window, "lineEdit_Key", key);
        click(&window, "pushButton_13");
        const QVariantList conversion = fakedevice::callsOf("AscToHex").value(0).args;
        QCOMPARE(conversion.value(0).toByteArray(), key.toUtf8().left(12));
        QCOMPARE(conversion.value(1).toLongLong(), qint64(6));
        QCOMPARE(fakedevice::callsOf("M1Authentication").size(), 1);
    }

    // The fake reads exactly eight characters: an unpadded short text would
    // be read past its end (and fail under the sanitizers).
    void shortUidTextIsPaddedNotOverread_data()
    {
        QTest::addColumn<QByteArray>("found");
        QTest::addColumn<QByteArray>("converted");
        QTest::addColumn<QByteArray>("passed");
        QTest::newRow("no card found yet")
            << QByteArray() << QByteArray("00000000") << hex("00000000");
        QTest::newRow("one byte") << hex("AB") << QByteArray("AB000000") << hex("AB000000");
        QTest::newRow("three bytes") << hex("ABCDEF") << QByteArray("ABCDEF00") << hex("ABCDEF00");
    }

    void shortUidTextIsPaddedNotOverread()
    {
        QFETCH(QByteArray, found);
        QFETCH(QByteArray, converted);
        QFETCH(QByteArray, passed);
        MainWindow window;
        if (!found.isEmpty())
            findCard(window, found);
        click(&window, "pushButton_13");
        const QList<fakedevice::Call> conversions = fakedevice::callsOf("AscToHex");
        QCOMPARE(conversions.size(), 2);
        QCOMPARE(conversions[1].args, (QVariantList{converted, qint64(4), true}));
        QCOMPARE(fakedevice::lastArgs("M1Authentication").value(3).toByteArray(), passed);
    }

    void readBlockShowsTheBytesInHex_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("shown");
        QTest::newRow("16 bytes") << counting(16) << qint64(16) << upperHex(counting(16));
        // A 64-byte text holds 31 bytes with its terminating zero.
        QTest::newRow("full byte buffer") << counting(32) << qint64(32) << upperHex(counting(31));
        QTest::newRow("count beyond the buffer")
            << counting(32) << (qint64(1) << 40) << upperHex(counting(31));
        QTest::newRow("negative count") << counting(16) << qint64(-16) << "";
    }

    void readBlockShowsTheBytesInHex()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, count);
        QFETCH(QString, shown);
        MainWindow window;
        fakedevice::script("M1ReadBlock", {0, {bytes}, {count}});
        click(&window, "pushButton_14");
        QCOMPARE(status(&window), QStringLiteral("M1卡读块数据成功"));
        QCOMPARE(text(&window, "lineEdit_BlockData"), shown);
        QCOMPARE(fakedevice::lastArgs("M1ReadBlock"), (QVariantList{qint64(2), true, qint64(0)}));
    }

    void blockNumberIsAByteForReadAndWrite_data()
    {
        QTest::addColumn<QString>("block");
        QTest::addColumn<qint64>("byte");
        QTest::newRow("empty") << "" << qint64(0);
        QTest::newRow("300") << "300" << qint64(44);
    }

    void blockNumberIsAByteForReadAndWrite()
    {
        QFETCH(QString, block);
        QFETCH(qint64, byte);
        MainWindow window;
        setText(&window, "lineEdit_BlockAddr", block);
        click(&window, "pushButton_14");
        click(&window, "pushButton_15");
        QCOMPARE(fakedevice::lastArgs("M1ReadBlock").value(0).toLongLong(), byte);
        QCOMPARE(fakedevice::lastArgs("M1WriteBlock").value(0).toLongLong(), byte);
    }

    void writeBlockSendsSixteenBytesAndLeavesTheReadField()
    {
        MainWindow window;
        fakedevice::script("M1ReadBlock", {0, {counting(16)}, {16}});
        click(&window, "pushButton_14");
        fakedevice::reset();

        setText(&window, "lineEdit_WBlockData", "ffeeddccbbaa99887766554433221100");
        click(&window, "pushButton_15");
        QCOMPARE(status(&window), QStringLiteral("M1卡写块数据成功"));
        QCOMPARE(fakedevice::lastArgs("AscToHex"),
                 (QVariantList{QByteArray("ffeeddccbbaa99887766554433221100"), qint64(16), true}));
        QCOMPARE(fakedevice::lastArgs("M1WriteBlock"),
                 (QVariantList{qint64(2), qint64(16), hex("FFEEDDCCBBAA99887766554433221100")}));
        QCOMPARE(text(&window, "lineEdit_BlockData"), upperHex(counting(16)));

        fakedevice::script("M1WriteBlock", -57);
        click(&window, "pushButton_15");
        QCOMPARE(status(&window), QStringLiteral("M1卡写块数据失败，错误代码：-57"));
        QCOMPARE(text(&window, "lineEdit_BlockData"), upperHex(counting(16)));
    }

    void writeTextOfWrongLengthCallsNothing_data()
    {
        QTest::addColumn<QString>("data");
        QTest::newRow("31") << "000102030405060708090A0B0C0D0E0";
        QTest::newRow("33") << "000102030405060708090A0B0C0D0E0F0";
        QTest::newRow("empty") << "";
    }

    void writeTextOfWrongLengthCallsNothing()
    {
        QFETCH(QString, data);
        MainWindow window;
        setText(&window, "lineEdit_WBlockData", data);
        click(&window, "pushButton_15");
        QCOMPARE(status(&window), blockLengthMessage);
        QVERIFY(fakedevice::calls().isEmpty());
    }

    // A missing conversion is found before the typed input is looked at, so
    // the operation calls nothing at all.
    void missingConversionStopsTheOperation_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("message");
        QTest::newRow("authentication") << "pushButton_13" << int(EntryPoint::AscToHex)
                                        << "M1卡密钥认证失败，接口库未导出AscToHex";
        QTest::newRow("write block") << "pushButton_15" << int(EntryPoint::AscToHex)
                                     << "M1卡写块数据失败，接口库未导出AscToHex";
    }

    void missingConversionStopsTheOperation()
    {
        QFETCH(QString, button);
        QFETCH(int, entry);
        QFETCH(QString, message);
        MainWindow window;
        setText(&window, "lineEdit_Key", "short");
        setText(&window, "lineEdit_WBlockData", "short");
        const Unbound unbound(static_cast<EntryPoint>(entry));
        click(&window, button.toLatin1());
        QCOMPARE(status(&window), message);
        QVERIFY(fakedevice::calls().isEmpty());
    }
};

QTEST_MAIN(TestM1Card)
#include "tst_m1card.moc"

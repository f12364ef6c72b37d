// The shared guards every operation relies on: bounded reads of library
// buffers, clamped counts, padded conversions, byte-sized numbers, the card
// text record and the missing-export report.
#include "fakedevice.h"
#include "gb18030.h"
#include "operation.h"
#include "windowtest.h"

#include <QLabel>
#include <QtTest>

#include <cstring>

using namespace windowtest;

class TestOperation : public QObject
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

    void textStopsAtTheFirstZeroOrTheBufferEnd()
    {
        TextBuffer<8> buffer;
        QCOMPARE(buffer.text(), QByteArray());
        std::memcpy(buffer.data(), "ab\0cd", 5);
        QCOMPARE(buffer.text(), QByteArray("ab"));
        std::memset(buffer.data(), 'x', 8);
        QCOMPARE(buffer.text(), QByteArray(8, 'x'));
    }

    void countIsClampedToTheBuffer_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("inside") << qint64(8) << qint64(8);
        QTest::newRow("edge") << qint64(16) << qint64(16);
        QTest::newRow("beyond") << qint64(100000) << qint64(16);
        QTest::newRow("negative") << qint64(-1) << qint64(0);
        QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << qint64(0);
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << qint64(16);
    }

    void countIsClampedToTheBuffer()
    {
        QFETCH(qint64, count);
        QFETCH(qint64, expected);
        QCOMPARE(clampedCount(count, 16), expected);
    }

    void hexCountFitsBothBuffers()
    {
        // 16 bytes would need 33 characters: a 32-byte text holds 15.
        QCOMPARE(hexByteCount(16, 16, 32), qint64(15));
        QCOMPARE(hexByteCount(16, 16, 33), qint64(16));
        QCOMPARE(hexByteCount(100, 128, 256), qint64(100));
        QCOMPARE(hexByteCount(200, 128, 256), qint64(127));
        QCOMPARE(hexByteCount(-5, 16, 32), qint64(0));
    }

    void bytesToHexHandsTheLibraryAClampedCount()
    {
        ByteBuffer<16> bytes;
        for (int i = 0; i < 16; ++i)
            bytes.bytes[i] = static_cast<unsigned char>(0xA0 + i);
        QCOMPARE((bytesToHex<33>(bytes, 4)), QStringLiteral("A0A1A2A3"));
        QCOMPARE((bytesToHex<32>(bytes, 100000)), QStringLiteral("A0A1A2A3A4A5A6A7A8A9AAABACADAE"));
        QCOMPARE(fakedevice::lastArgs("HexToAsc").value(1).toLongLong(), qint64(15));
        QCOMPARE((bytesToHex<32>(bytes, -1)), QString());
        QCOMPARE(fakedevice::lastArgs("HexToAsc").value(1).toLongLong(), qint64(0));
    }

    void shortHexInputIsPaddedNotOverread_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QByteArray>("passed");
        QTest::newRow("empty uid") << "" << qint64(4) << QByteArray("00000000");
        QTest::newRow("one digit slot") << "1" << qint64(1) << QByteArray("10");
        QTest::newRow("long enough") << "0102030405" << qint64(2) << QByteArray("0102030405");
        QTest::newRow("exact") << "3C7E19B4D2A6" << qint64(6) << QByteArray("3C7E19B4D2A6");
        QTest::newRow("non ascii counts in bytes") << "中" << qint64(2) << QByteArray("中0");
    }

    void shortHexInputIsPaddedNotOverread()
    {
        QFETCH(QString, text);
        QFETCH(qint64, count);
        QFETCH(QByteArray, passed);
        QCOMPARE(paddedHexInput(text, count), passed);
    }

    void hexToBytesNeverWritesPastTheBuffer()
    {
        ByteBuffer<4> bytes;
        hexToBytes(QStringLiteral("0102030405060708"), 8, bytes);
        QCOMPARE(fakedevice::lastArgs("AscToHex").value(1).toLongLong(), qint64(4));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes.data()), 4),
                 QByteArray::fromHex("01020304"));
    }

    void decimalByteKeepsTheLowEightBits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("byte");
        QTest::newRow("default timeout") << "10" << 10;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("not a number") << "abc" << 0;
        QTest::newRow("300") << "300" << 44;
        QTest::newRow("256") << "256" << 0;
        QTest::newRow("-1") << "-1" << 255;
        QTest::newRow("321 tracks") << "321" << 65;
        QTest::newRow("blanks around") << " 7 " << 7;
        QTest::newRow("hex is not decimal") << "0x10" << 0;
        QTest::newRow("beyond int") << "99999999999" << 0;
    }

    void decimalByteKeepsTheLowEightBits()
    {
        QFETCH(QString, text);
        QFETCH(int, byte);
        QCOMPARE(int(decimalByte(text)), byte);
    }

    // The same texts under Qt 5's and Qt 6's converters.
    void gb18030ConvertsBothWays_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("roundTrip");
        QTest::newRow("two-byte") << QByteArray("\xD5\xC5\xC8\xFD") << "张三" << true;
        QTest::newRow("four-byte, outside the basic plane")
            << QByteArray("\x95\x32\x82\x36") << "\U00020000" << true;
        QTest::newRow("zero byte kept")
            << QByteArray("A\0B", 3) << QString::fromLatin1("A\0B", 3) << true;
        QTest::newRow("invalid byte") << QByteArray("A\xFF\x41") << "A\uFFFDA" << false;
        QTest::newRow("invalid second byte") << QByteArray("\xD5\x7F") << "\uFFFD\u007F" << false;
        QTest::newRow("incomplete at the end") << QByteArray("A\xD5") << "A" << false;
        QTest::newRow("incomplete four-byte at the end")
            << QByteArray("A\x95\x32\x82") << "A" << false;
    }

    void gb18030ConvertsBothWays()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(bool, roundTrip);
        QVERIFY(gb18030Available());
        QCOMPARE(fromGb18030(bytes), text);
        if (roundTrip)
            QCOMPARE(toGb18030(text), bytes);
    }

    void cardTextRecordSplitsGb18030AtEveryColon()
    {
        const QByteArray record = toGb18030(QStringLiteral("::张三:北京市::"));
        QCOMPARE(cardTextRecord(record),
                 (QStringList{"", "", "张三", "北京市", "", ""}));
        QCOMPARE(cardTextRecord(QByteArray()), QStringList{QString()});
        // The same bytes read as UTF-8 would not be the name.
        QVERIFY(QString::fromUtf8(toGb18030(QStringLiteral("张三"))) != QStringLiteral("张三"));
        QCOMPARE(recordField(QStringList{"a"}, 3), QString());
    }

    void missingEntryPointReplacesTheCode()
    {
        QLabel status;
        const Operation op(&status, "M1卡寻卡失败，错误代码：");
        QVERIFY(op.entriesBound({EntryPoint::M1FindCard, EntryPoint::HexToAsc}));
        QCOMPARE(status.text(), QString());
        {
            const Unbound unbound(EntryPoint::HexToAsc);
            QVERIFY(!op.entriesBound({EntryPoint::M1FindCard, EntryPoint::HexToAsc}));
            QCOMPARE(status.text(), QStringLiteral("M1卡寻卡失败，接口库未导出HexToAsc"));
        }
        QVERIFY(op.failed(-7));
        QCOMPARE(status.text(), QStringLiteral("M1卡寻卡失败，错误代码：-7"));
        QVERIFY(!op.failed(0));
        QCOMPARE(op.failure(std::numeric_limits<qint64>::max()),
                 QStringLiteral("M1卡寻卡失败，错误代码：9223372036854775807"));
    }

    void everyEntryPointHasItsName()
    {
        QCOMPARE(entryPointCount, 78);
        QCOMPARE(entryPointName(EntryPoint::SetTerminalLibrary), "SetTerminalLibrary");
        QCOMPARE(entryPointName(EntryPoint::SdtSamGetIdStr), "SdtSamGetIdStr");
        QCOMPARE(entryPointName(EntryPoint::AscToHex), "AscToHex");
        for (int i = 0; i < entryPointCount; ++i)
            QVERIFY(isBound(static_cast<EntryPoint>(i)));
    }
};

QTEST_MAIN(TestOperation)
#include "tst_operation.moc"

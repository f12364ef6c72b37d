// The simulated reader's connection, conversions and refusals, through its
// exports as the program sees them.
#include "errors.h"
#include "windowtest.h"

#include <QtTest>

#include <cstring>
#include <memory>

using namespace windowtest;

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { bindSimulator(); }
    void cleanup() { pCloseDevice(); }

    void dialogDefaultsOpen_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("para");
        QTest::newRow("serial") << QByteArray("COM/dev/ttyS3") << QByteArray("115200");
        QTest::newRow("usb") << QByteArray("USB") << QByteArray("E4A50701");
        QTest::newRow("usb lower case") << QByteArray("USB") << QByteArray("e4a50701");
        QTest::newRow("bluetooth") << QByteArray("BTH") << QByteArray("SR");
        QTest::newRow("socket") << QByteArray("SKT") << QByteArray("127.0.0.1:8888");
    }

    void dialogDefaultsOpen()
    {
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, para);
        QVERIFY(pOpenDevice(type, para, "") > 0);
        QCOMPARE(pCloseDevice(), qint64(device::Ok));
        QCOMPARE(pCloseDevice(), qint64(device::NotOpen));
    }

    void malformedConnectionsAreRefusedDistinctly_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("para");
        QTest::addColumn<qint64>("code");
        QTest::newRow("unknown type") << QByteArray("LPT1") << QByteArray("x") << qint64(device::BadPortType);
        QTest::newRow("empty type") << QByteArray("") << QByteArray("") << qint64(device::BadPortType);
        QTest::newRow("com without path") << QByteArray("COM") << QByteArray("115200")
                                          << qint64(device::MissingSerialPath);
        QTest::newRow("com bad baud") << QByteArray("COM/dev/ttyS0") << QByteArray("fast")
                                      << qint64(device::BadBaudRate);
        QTest::newRow("usb seven digits") << QByteArray("USB") << QByteArray("E4A5070")
                                          << qint64(device::BadUsbIds);
        QTest::newRow("usb not hex") << QByteArray("USB") << QByteArray("E4A5070G")
                                     << qint64(device::BadUsbIds);
        QTest::newRow("usb separator") << QByteArray("USB") << QByteArray("E4A5_0701")
                                       << qint64(device::BadUsbIds);
        QTest::newRow("bluetooth empty") << QByteArray("BTH") << QByteArray("")
                                         << qint64(device::EmptyBluetoothName);
        QTest::newRow("socket no port") << QByteArray("SKT") << QByteArray("127.0.0.1")
                                        << qint64(device::BadSocketAddress);
        QTest::newRow("socket port zero") << QByteArray("SKT") << QByteArray("127.0.0.1:0")
                                          << qint64(device::BadSocketAddress);
        QTest::newRow("socket octet 256") << QByteArray("SKT") << QByteArray("10.0.0.256:80")
                                          << qint64(device::BadSocketAddress);
        QTest::newRow("socket host name") << QByteArray("SKT") << QByteArray("reader:80")
                                          << qint64(device::BadSocketAddress);
        QTest::newRow("socket ipv6") << QByteArray("SKT") << QByteArray("::1:80")
                                     << qint64(device::BadSocketAddress);
    }

    void malformedConnectionsAreRefusedDistinctly()
    {
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, para);
        QFETCH(qint64, code);
        QCOMPARE(pOpenDevice(type, para, ""), code);
        QCOMPARE(pTerminalHeartBeat(), qint64(device::NotOpen));
    }

    void everyOperationAnswersNotOpenWhileClosed()
    {
        char text[10240] = {};
        char second[4096] = {};
        char third[512] = {};
        unsigned char bytes[1024] = {};
        int64_t length = 0;
        const qint64 notOpen = device::NotOpen;
        QCOMPARE(pTerminalHeartBeat(), notOpen);
        QCOMPARE(pTerminalGetModel(text), notOpen);
        QCOMPARE(pTerminalGetFirmVersion(text, second), notOpen);
        QCOMPARE(pSamGetIdStr(text), notOpen);
        QCOMPARE(pSamGetStatus(), notOpen);
        QCOMPARE(pSdtSamGetIdStr(text), notOpen);
        QCOMPARE(pSdtSamGetStatus(), notOpen);
        QCOMPARE(pIdReadCard(0, 1, text, 0), notOpen);
        QCOMPARE(pSdtReadCard(0, 1, text, 0), notOpen);
        QCOMPARE(pIdReadSn(bytes, &length), notOpen);
        QCOMPARE(pIccGetCardInfo(2, "", "A", text), notOpen);
        QCOMPARE(pIccGetARQC(2, "P0010", "", text, second), notOpen);
        QCOMPARE(pIccARPCExeScript(2, "", "", "", text, second), notOpen);
        QCOMPARE(pIccGetTrDetail(2, "", text, 0), notOpen);
        QCOMPARE(pIccGetLoadDetail(2, "", text, 0), notOpen);
        QCOMPARE(pSsseReadCard(3, text, second, 0), notOpen);
        QCOMPARE(pM1FindCard(bytes, &length), notOpen);
        QCOMPARE(pM1Authentication('A', 0, bytes, bytes), notOpen);
        QCOMPARE(pM1ReadBlock(2, bytes, &length), notOpen);
        QCOMPARE(pM1WriteBlock(2, 16, bytes), notOpen);
        QCOMPARE(pMagRead(123, third, third, third, 10), notOpen);
        QCOMPARE(pMagWrite(123, "", "", "", 10), notOpen);
        QCOMPARE(pCpuPowerOn(1, bytes, &length), notOpen);
        QCOMPARE(pCpuApdu(1, 5, bytes, bytes, &length), notOpen);
        QCOMPARE(pCpuPowerOff(1), notOpen);
        QCOMPARE(pQrRead(third, 10), notOpen);
        QCOMPARE(pCloseDevice(), notOpen);
    }

    void uncalledExportsAreNotSupportedOpenOrNot()
    {
        const qint64 unsupported = device::NotSupported;
        QCOMPARE(pSetTerminalLibrary(), unsupported);
        QCOMPARE(pIdCardGetPhotoBuffer(), unsupported);
        QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0);
        QCOMPARE(pM1Halt(), unsupported);
        QCOMPARE(pIccVerifyScript(), unsupported);
        QCOMPARE(pSsseGetCardInfo(), unsupported);
    }

    void handlesArePositiveAndReopenReplaces()
    {
        const qint64 first = pOpenDevice("COM/dev/ttyUSB0", "9600", "");
        const qint64 second = pOpenDevice("SKT", "192.168.1.20:8888", "");
        QVERIFY(first > 0);
        QVERIFY(second > 0);
        QCOMPARE(pTerminalHeartBeat(), qint64(device::Ok));
        QCOMPARE(pCloseDevice(), qint64(device::Ok));
        QCOMPARE(pTerminalHeartBeat(), qint64(device::NotOpen));
    }

    void diagnosticsAnswerWhileOpen()
    {
        QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0);
        char model[256] = {}, firmware[256] = {}, hardware[256] = {}, sam[256] = {}, sdtSam[256] = {};
        QCOMPARE(pTerminalGetModel(model), qint64(0));
        QVERIFY(std::strlen(model) > 0);
        QVERIFY(!QString::fromUtf8(model).contains(QChar::ReplacementCharacter));
        QCOMPARE(pTerminalGetFirmVersion(firmware, hardware), qint64(0));
        QVERIFY(std::strlen(firmware) > 0 && std::strlen(hardware) > 0);
        QCOMPARE(pSamGetIdStr(sam), qint64(0));
        QCOMPARE(pSdtSamGetIdStr(sdtSam), qint64(0));
        QCOMPARE(QByteArray(sam), QByteArray(sdtSam));
        QCOMPARE(pSamGetStatus(), qint64(0));
        QCOMPARE(pSdtSamGetStatus(), qint64(0));
    }

    void hexToAscWritesUpperCase()
    {
        const unsigned char bytes[] = {0x00, 0x3c, 0xab, 0xff};
        char text[9];
        std::memset(text, 'x', sizeof text);
        QCOMPARE(pHexToAsc(bytes, 4, text), qint64(0));
        QCOMPARE(QByteArray(text), QByteArray("003CABFF"));
        QCOMPARE(pHexToAsc(bytes, 0, text), qint64(0));
        QCOMPARE(QByteArray(text), QByteArray());
    }

    void ascToHexReadsOnlyWhatItIsGiven_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("upper") << QByteArray("3C7E19") << 3 << QByteArray::fromHex("3C7E19ee");
        QTest::newRow("lower") << QByteArray("3c7e19") << 3 << QByteArray::fromHex("3C7E19ee");
        QTest::newRow("fewer than the text") << QByteArray("0102030405") << 2
                                             << QByteArray::fromHex("0102eeee");
        QTest::newRow("non hex counts as 0") << QByteArray("G1 Z") << 2 << QByteArray::fromHex("0100eeee");
        QTest::newRow("stops at the zero byte") << QByteArray("AB") << 4 << QByteArray::fromHex("ABeeeeee");
        QTest::newRow("odd tail") << QByteArray("ABC") << 4 << QByteArray::fromHex("ABC0eeee");
        QTest::newRow("negative count") << QByteArray("AB") << -1 << QByteArray::fromHex("eeeeeeee");
    }

    void ascToHexReadsOnlyWhatItIsGiven()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, count);
        QFETCH(QByteArray, bytes);
        // An exact-size heap copy: reading past its end fails under the sanitizers.
        std::unique_ptr<char[]> input(new char[text.size() + 1]);
        std::memcpy(input.get(), text.constData(), text.size() + 1);
        unsigned char output[4];
        std::memset(output, 0xee, sizeof output);
        QCOMPARE(pAscToHex(input.get(), count, output), qint64(0));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(output), 4), bytes);
    }

    void everyCodeHasAMeaning()
    {
        QCOMPARE(QByteArray(device::describe(device::NotOpen)), QByteArray("设备未打开"));
        QCOMPARE(QByteArray(device::describe(123456)), QByteArray("未知错误"));
    }
};

QTEST_MAIN(TestSimDevice)
#include "tst_simdevice.moc"

// The simulated CPU cards and QR scanner: slots, power state, the command
// interpreter's answers and status words, and the scanned content.
#include "cardos.h"
#include "errors.h"
#include "windowtest.h"

#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

#include <array>
#include <cstring>

using namespace windowtest;

namespace {
// Runs the commands, separated by ";", on a fresh user card and returns the
// last response in hexadecimal.
QByteArray lastResponse(const QByteArray &commands)
{
    sim::CardSession session = sim::startSession(sim::userCard(), 1);
    sim::Bytes response;
    for (const QByteArray &hex : commands.split(';')) {
        const QByteArray command = QByteArray::fromHex(hex);
        response = sim::respond(session, reinterpret_cast<const unsigned char *>(command.data()),
                                static_cast<std::size_t>(command.size()));
    }
    return QByteArray(reinterpret_cast<const char *>(response.data()),
                      static_cast<int>(response.size()))
        .toHex()
        .toUpper();
}

const QByteArray socialSecurity = "00A404000F7378312E73682EC9E7BBE1B1A3D5CF";
const QByteArray debit = "00A4040008A000000333010101";
const unsigned char everySlot[] = {0x01, 0x11, 0x12, 0x13, 0x41, 0x42};
} // namespace

class TestSimCpu : public QObject
{
    Q_OBJECT

    // Sends a command APDU given in hexadecimal through the export.
    qint64 exchange(unsigned char slot, const QByteArray &hex, QByteArray *response = nullptr)
    {
        const QByteArray command = QByteArray::fromHex(hex);
        unsigned char answer[1024] = {};
        int64_t length = 0;
        const qint64 result =
            pCpuApdu(slot, command.size(), reinterpret_cast<const unsigned char *>(command.data()),
                     answer, &length);
        if (response)
            *response =
                QByteArray(reinterpret_cast<const char *>(answer), int(length)).toHex().toUpper();
        return result;
    }

    qint64 powerOn(unsigned char slot, QByteArray *atr = nullptr)
    {
        unsigned char bytes[128] = {};
        int64_t length = 0;
        const qint64 result = pCpuPowerOn(slot, bytes, &length);
        if (atr)
            *atr = QByteArray(reinterpret_cast<const char *>(bytes), int(length));
        return result;
    }

private slots:
    void initTestCase() { bindSimulator(); }
    void init() { QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0); }
    void cleanup() { pCloseDevice(); }

    void everySlotAnswersAnAtrOfItsOwn()
    {
        QSet<QByteArray> atrs;
        for (unsigned char slot : everySlot) {
            QByteArray atr;
            QCOMPARE(powerOn(slot, &atr), qint64(device::Ok));
            QCOMPARE(atr.at(0), '\x3B');
            // TS, T0, two interface bytes and the historical bytes T0 counts;
            // contactless ATRs end in a check byte.
            const bool contactless = slot >= 0x41;
            const int expected = 4 + (atr.at(1) & 0x0F) + (contactless ? 1 : 0);
            QCOMPARE(atr.size(), expected);
            if (contactless) {
                char check = 0;
                for (int i = 1; i < atr.size(); ++i)
                    check ^= atr.at(i);
                QCOMPARE(check, '\0');
            }
            atrs.insert(atr);
        }
        QCOMPARE(atrs.size(), 6);
    }

    void otherSlotsAreRefused_data()
    {
        QTest::addColumn<int>("slot");
        for (int slot : {0x00, 0x02, 0x10, 0x14, 0x40, 0x43, 0xFF})
            QTest::newRow(qPrintable(QString::number(slot, 16))) << slot;
    }

    void otherSlotsAreRefused()
    {
        QFETCH(int, slot);
        const qint64 badSlot = device::CpuBadSlot;
        QCOMPARE(powerOn(slot), badSlot);
        QCOMPARE(exchange(slot, "0084000008"), badSlot);
        QCOMPARE(pCpuPowerOff(slot), badSlot);
    }

    void commandsGoOnlyToAPoweredSlot()
    {
        QCOMPARE(powerOn(0x01), qint64(device::Ok));
        QCOMPARE(exchange(0x11, "0084000008"), qint64(device::CpuNotPowered));
        QCOMPARE(exchange(0x01, "0084000008"), qint64(device::Ok));
        QCOMPARE(pCpuPowerOff(0x01), qint64(device::Ok));
        QCOMPARE(pCpuPowerOff(0x01), qint64(device::Ok));
        QCOMPARE(exchange(0x01, "0084000008"), qint64(device::CpuNotPowered));

        QCOMPARE(powerOn(0x42), qint64(device::Ok));
        pCloseDevice();
        QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0);
        QCOMPARE(exchange(0x42, "0084000008"), qint64(device::CpuNotPowered));
    }

    void commandsWithoutAHeaderAreRefused()
    {
        QCOMPARE(powerOn(0x01), qint64(device::Ok));
        const qint64 bad = device::CpuBadCommand;
        QCOMPARE(exchange(0x01, ""), bad);
        QCOMPARE(exchange(0x01, "008400"), bad);
        QCOMPARE(exchange(0x01, QByteArray(2050, '0')), bad);
        unsigned char answer[1024] = {};
        int64_t length = 0;
        QCOMPARE(pCpuApdu(0x01, -1, answer, answer, &length), bad);
        // Beyond a short APDU but within the reader's frame: the card says so.
        QByteArray response;
        const QByteArray longest = "00A40000FF" + QByteArray(2048 - 10, '0');
        QCOMPARE(exchange(0x01, longest, &response), qint64(device::Ok));
        QCOMPARE(response, QByteArray("6700"));
    }

    void aSessionOnTheUserCard()
    {
        QCOMPARE(powerOn(0x01), qint64(device::Ok));
        QByteArray first, second, response;
        QCOMPARE(exchange(0x01, "0084000008", &first), qint64(device::Ok));
        QCOMPARE(exchange(0x01, "0084000008", &second), qint64(device::Ok));
        QCOMPARE(first.size(), 20);
        QVERIFY(first.endsWith("9000"));
        QVERIFY(first != second);

        exchange(0x01, "00A4020002EF05", &response);
        QCOMPARE(response, QByteArray("610C"));
        exchange(0x01, "00B2010012", &response);
        QCOMPARE(response.size(), 2 * (18 + 2));
        QVERIFY(response.startsWith("0110") && response.endsWith("9000"));
        exchange(0x01, socialSecurity, &response);
        QVERIFY(response.startsWith("61"));
        exchange(0x01, "00C00000" + response.mid(2), &response);
        QVERIFY(response.contains("840F7378312E73682EC9E7BBE1B1A3D5CF"));
        QVERIFY(response.endsWith("9000"));
    }

    void statusWords_data()
    {
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<QByteArray>("response");
        QTest::newRow("wrong class") << QByteArray("8084000008") << QByteArray("6E00");
        QTest::newRow("unknown instruction") << QByteArray("00CA9F3600") << QByteArray("6D00");
        QTest::newRow("challenge of 5") << QByteArray("0084000005") << QByteArray("6700");
        QTest::newRow("challenge without Le") << QByteArray("00840000") << QByteArray("6700");
        QTest::newRow("Lc beyond the data") << QByteArray("00A40000033F00") << QByteArray("6700");
        QTest::newRow("extended length") << QByteArray("00A4000000000200") << QByteArray("6700");
        QTest::newRow("identifier of 3") << QByteArray("00A40000033F0001") << QByteArray("6A87");
        QTest::newRow("unknown selection") << QByteArray("00A4080002EF05") << QByteArray("6A86");
        QTest::newRow("missing file") << QByteArray("00A40000021234") << QByteArray("6A82");
        QTest::newRow("missing name") << QByteArray("00A4040003FFFFFF") << QByteArray("6A82");
        QTest::newRow("no current EF") << QByteArray("00B2010012") << QByteArray("6986");
        QTest::newRow("missing record")
            << QByteArray("00A4020C02EF05;00B2090012") << QByteArray("6A83");
        QTest::newRow("wrong Le") << QByteArray("00A4020C02EF05;00B2010010") << QByteArray("6C12");
        QTest::newRow("MF with Le 00")
            << QByteArray("00A40000023F0000") << QByteArray("6F0483023F009000");
        QTest::newRow("held back for T=0") << QByteArray("00A40000023F00") << QByteArray("6106");
        QTest::newRow("fetched") << QByteArray("00A40000023F00;00C0000006")
                                 << QByteArray("6F0483023F009000");
        QTest::newRow("asked too much")
            << QByteArray("00A40000023F00;00C0000008") << QByteArray("6C06");
        QTest::newRow("fetched in parts")
            << debit + ";00C0000008" << QByteArray("6F488408A00000036142");
        QTest::newRow("nothing held") << QByteArray("00C0000008") << QByteArray("6985");
        QTest::newRow("dropped by the next command")
            << QByteArray("00A40000023F00;0084000004;00C0000006") << QByteArray("6985");
        QTest::newRow("record by SFI")
            << debit + ";00B2010C00"
            << QByteArray("706C57136999002000123451D30122201234567800000F"
                          "5F2006B3C2CBBCD4B69F1F3242363939393030323030"
                          "303132333435315E4348454E2F53495955414E5E3330"
                          "3132323230303030303030303030303030309F611239"
                          "39303130363139383830373135303033349F62010090"
                          "00");
        QTest::newRow("record by identifier in a DF")
            << socialSecurity + ";00B2094000" << QByteArray("0906B3C2CBBCD4B69000");
        QTest::newRow("EF05 is not in the DF")
            << socialSecurity + ";00A4020002EF05" << QByteArray("6A82");
        QTest::newRow("back to the MF")
            << socialSecurity + ";00A4030C;00A4020002EF05" << QByteArray("610C");
    }

    void statusWords()
    {
        QFETCH(QByteArray, commands);
        QFETCH(QByteArray, response);
        QCOMPARE(lastResponse(commands), response);
    }

    // 6Cxx tells a T=0 terminal to send the same command again at once with
    // Le xx; the first one must not have moved the selection, or selecting a
    // child or the parent DF would go a step further the second time.
    void commandAnsweredWithTheRightLengthCanBeSentAgain_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("command"); // without its Le
        QTest::newRow("child DF") << QByteArray() << QByteArray("00A40100021001");
        QTest::newRow("DF by identifier") << QByteArray() << QByteArray("00A40000021001");
        QTest::newRow("parent DF") << socialSecurity + "00" << QByteArray("00A40300");
        QTest::newRow("record by short identifier") << debit + "00" << QByteArray("00B2010C");
    }

    void commandAnsweredWithTheRightLengthCanBeSentAgain()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, command);
        const QByteArray first = (before.isEmpty() ? QByteArray() : before + ";") + command + "01";
        const QByteArray wrongLength = lastResponse(first);
        QCOMPARE(wrongLength.size(), 4);
        QVERIFY(wrongLength.startsWith("6C"));
        const int length = wrongLength.mid(2).toInt(nullptr, 16);
        const QByteArray response = lastResponse(first + ";" + command + wrongLength.mid(2));
        QVERIFY2(response.endsWith("9000"), response.constData());
        QCOMPARE(response.size(), 2 * (length + 2));
    }

    void anyBytesGetAStatusWord()
    {
        QRandomGenerator random(20260915);
        sim::CardSession session = sim::startSession(sim::userCard(), 7);
        for (int i = 0; i < 20000; ++i) {
            sim::Bytes command(random.bounded(300));
            for (unsigned char &byte : command)
                byte = static_cast<unsigned char>(random.bounded(256));
            // Mostly class 00 and a known instruction, to reach past the first checks.
            if (command.size() > 1 && i % 2 == 0) {
                command[0] = 0;
                command[1] = std::array<unsigned char, 4>{0xA4, 0xB2, 0x84, 0xC0}[i % 8 / 2];
            }
            const sim::Bytes response = sim::respond(session, command.data(), command.size());
            QVERIFY(response.size() >= 2 && response.size() <= 258);
        }
    }

    void scannerGivesUtf8ChineseText()
    {
        char content[512];
        std::memset(content, 0, sizeof content);
        QCOMPARE(pQrRead(content, 10), qint64(device::Ok));
        QVERIFY(std::memchr(content, '\0', sizeof content));
        const QString text = QString::fromUtf8(content);
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
        QVERIFY(text.contains(QStringLiteral("星河文具店")));
        QCOMPARE(pQrRead(content, 0), qint64(device::QrTimeout));
    }
};

QTEST_MAIN(TestSimCpu)
#include "tst_simcpu.moc"

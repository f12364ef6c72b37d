// The PC/SC side of the device library without pcscd: what every SCARD_*
// result becomes, which readers the port parameters choose, reader names and
// attributes read within their lengths, and responses of any shape from a
// reader through the card logic.
#include "buffers.h"
#include "channelresult.h"
#include "cpu.h"
#include "m1.h"
#include "pcscreaders.h"
#include "pcscresult.h"

#include <QtTest>

#include <winscard.h>

#include <cstring>

using namespace device;

namespace {

// A powered channel that answers every command with the same response.
class ScriptedChannel : public Channel
{
public:
    explicit ScriptedChannel(Bytes response) : m_response(std::move(response)) {}
    ChannelResult powerOn(Bytes &atr) override
    {
        atr = {0x3B, 0x00};
        return ChannelResult::Ok;
    }
    ChannelResult transmit(const unsigned char *, std::size_t, Bytes &response) override
    {
        response = m_response;
        return ChannelResult::Ok;
    }
    void powerOff() override {}
    bool isPowered() const override { return true; }
    std::uint64_t session() const override { return 0; }

private:
    Bytes m_response;
};

Bytes bytesOf(const QByteArray &hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return Bytes(raw.begin(), raw.end());
}

std::vector<PcscReaderState> readers(const QStringList &names, const QString &withCards = {})
{
    std::vector<PcscReaderState> result;
    for (int i = 0; i < names.size(); ++i)
        result.push_back({names.at(i).toStdString(), withCards.contains(QString::number(i))});
    return result;
}

const QStringList fourReaders{"ACME Contactless 00 00", "ACME SAM Slot 00 00", "Other Reader 01 00",
                              "ACME SAM Slot 00 01"};

} // namespace

class TestPcscReaders : public QObject
{
    Q_OBJECT

private slots:
    void everyPcscResultHasItsCode_data()
    {
        QTest::addColumn<qint64>("pcscResult");
        QTest::addColumn<qint64>("code");
        QTest::newRow("success") << qint64(SCARD_S_SUCCESS) << qint64(Ok);
        QTest::newRow("no pcscd") << qint64(SCARD_E_NO_SERVICE) << qint64(PcscdUnreachable);
        QTest::newRow("pcscd stopped")
            << qint64(SCARD_E_SERVICE_STOPPED) << qint64(PcscdUnreachable);
        QTest::newRow("context of a pcscd gone")
            << qint64(SCARD_E_INVALID_HANDLE) << qint64(PcscdUnreachable);
        QTest::newRow("socket broken") << qint64(SCARD_F_COMM_ERROR) << qint64(PcscdUnreachable);
        QTest::newRow("no readers") << qint64(SCARD_E_NO_READERS_AVAILABLE) << qint64(NoReader);
        QTest::newRow("unknown reader") << qint64(SCARD_E_UNKNOWN_READER) << qint64(ReaderRemoved);
        QTest::newRow("reader unavailable")
            << qint64(SCARD_E_READER_UNAVAILABLE) << qint64(ReaderRemoved);
        QTest::newRow("no card") << qint64(SCARD_E_NO_SMARTCARD) << qint64(NoCard);
        QTest::newRow("card mute to its ATR") << qint64(SCARD_W_UNSUPPORTED_CARD) << qint64(NoCard);
        QTest::newRow("card removed") << qint64(SCARD_W_REMOVED_CARD) << qint64(CardRemoved);
        QTest::newRow("card unpowered") << qint64(SCARD_W_UNPOWERED_CARD) << qint64(CpuNotPowered);
        QTest::newRow("timeout") << qint64(SCARD_E_TIMEOUT) << qint64(Timeout);
        QTest::newRow("unsupported")
            << qint64(SCARD_E_UNSUPPORTED_FEATURE) << qint64(NotSupportedByReader);
        QTest::newRow("reset by another program")
            << qint64(SCARD_W_RESET_CARD) << qint64(CardResetElsewhere);
        QTest::newRow("held exclusively elsewhere")
            << qint64(SCARD_E_SHARING_VIOLATION) << qint64(TransmissionError);
        QTest::newRow("not a PC/SC result") << qint64(12345) << qint64(TransmissionError);
    }

    void everyPcscResultHasItsCode()
    {
        QFETCH(qint64, pcscResult);
        QFETCH(qint64, code);
        QCOMPARE(qint64(codeOf(channelResultOf(long(pcscResult)), CpuNotPowered)), code);
        QVERIFY(QByteArray(describe(code)) != "未知错误");
    }

    void portParametersChooseTheReaders_data()
    {
        QTest::addColumn<QString>("withCards");
        QTest::addColumn<QString>("selector");
        QTest::addColumn<QString>("extended");
        QTest::addColumn<int>("main");
        QTest::addColumn<QList<int>>("psam");
        QTest::newRow("empty: first with a card, SAM readers by name")
            << "2"
            << ""
            << "" << 2 << QList<int>{1, 3, -1};
        QTest::newRow("empty without cards: the first reader") << ""
                                                               << ""
                                                               << "" << 0 << QList<int>{1, 3, -1};
        QTest::newRow("by a part of the name") << "0"
                                               << "Other"
                                               << "" << 2 << QList<int>{1, 3, -1};
        QTest::newRow("a SAM reader as the main one is no PSAM")
            << ""
            << "SAM Slot 00 01"
            << "" << 3 << QList<int>{1, -1, -1};
        QTest::newRow("PSAMs named in slot order, an empty item skips a slot")
            << ""
            << "Contactless"
            << "00 01;;Other" << 0 << QList<int>{3, -1, 2};
        QTest::newRow("a name that fits no reader leaves its slot empty")
            << ""
            << "Contactless"
            << "Nothing" << 0 << QList<int>{-1, -1, -1};
        QTest::newRow("no reader matches") << "0"
                                           << "Reader 9"
                                           << "" << -1 << QList<int>{};
    }

    void portParametersChooseTheReaders()
    {
        QFETCH(QString, withCards);
        QFETCH(QString, selector);
        QFETCH(QString, extended);
        QFETCH(int, main);
        QFETCH(QList<int>, psam);
        const std::vector<PcscReaderState> list = readers(fourReaders, withCards);
        QCOMPARE(chooseReader(list, selector.toStdString()), main);
        if (main < 0)
            return;
        const std::array<int, 3> chosen = choosePsamReaders(list, main, extended.toStdString());
        QCOMPARE((QList<int>{chosen[0], chosen[1], chosen[2]}), psam);
    }

    // Which reader of a list is the main reader's contactless half, by name.
    void dualInterfaceReadersArePairedByName_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("main");
        QTest::addColumn<int>("partner");
        QTest::newRow("contact and contactless words")
            << QStringList{"ACME Dual (Contact) 00 00", "ACME Dual (Contactless) 00 01"} << 0 << 1;
        QTest::newRow("ICC and PICC, any case")
            << QStringList{"ACME Duo ICC 00 00", "ACME Duo picc 00 01"} << 0 << 1;
        QTest::newRow("no word on the contact half")
            << QStringList{"ACME Desk Reader 00 00", "ACME Desk Reader CL 00 01"} << 0 << 1;
        QTest::newRow("the main reader is the contactless one")
            << QStringList{"ACME Dual (Contact) 00 00", "ACME Dual (Contactless) 00 01"} << 1 << -1;
        QTest::newRow("names that differ only in their index")
            << QStringList{"Virtual PCD 00 00", "Virtual PCD 00 01"} << 0 << -1;
        QTest::newRow("another device's contactless reader")
            << QStringList{"ACME Dual (Contact) 00 00", "Other Dual (Contactless) 01 00"} << 0
            << -1;
        QTest::newRow("two devices: the main reader's own")
            << QStringList{"ACME Dual (Contactless) 00 01", "ACME Dual (Contact) 01 00",
                           "ACME Dual (Contactless) 01 01", "ACME Dual (Contact) 00 00"}
            << 1 << 2;
        QTest::newRow("two candidates, neither of the main device: none")
            << QStringList{"ACME Dual (Contact) 00 00", "ACME Dual (Contactless) 01 00",
                           "ACME Dual (Contactless) 02 00"}
            << 0 << -1;
    }

    void dualInterfaceReadersArePairedByName()
    {
        QFETCH(QStringList, names);
        QFETCH(int, main);
        QFETCH(int, partner);
        std::vector<std::string> list;
        for (const QString &name : names)
            list.push_back(name.toStdString());
        QCOMPARE(contactlessPartner(list, main), partner);
    }

    // The extended parameter's contactless item beside the PSAM items.
    void extendedParameterNamesTheContactlessReader_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("extended");
        QTest::addColumn<int>("contactless");
        QTest::addColumn<QList<int>>("psam");
        const QStringList vpcd{"Virtual PCD 00 00", "Virtual PCD 00 01", "ACME SAM Slot 00 00"};
        QTest::newRow("named; the SAM reader still found by name")
            << vpcd << "contactless=PCD 00 01" << 1 << QList<int>{2, -1, -1};
        QTest::newRow("PSAM items after it keep their slots")
            << vpcd << "contactless=PCD 00 01;;SAM" << 1 << QList<int>{-1, 2, -1};
        QTest::newRow("never the main reader")
            << vpcd << "contactless=PCD 00 00" << -1 << QList<int>{2, -1, -1};
        QTest::newRow("never a PSAM reader")
            << vpcd << "SAM;contactless=SAM" << -1 << QList<int>{2, -1, -1};
        const QStringList dual{"ACME Dual (Contact) 00 00", "ACME Dual (Contactless) 00 01"};
        QTest::newRow("found by name") << dual << "" << 1 << QList<int>{-1, -1, -1};
        QTest::newRow("empty item: none") << dual << "contactless=" << -1 << QList<int>{-1, -1, -1};
        QTest::newRow("a PSAM name takes it from the contactless slots")
            << dual << "Contactless" << -1 << QList<int>{1, -1, -1};
    }

    void extendedParameterNamesTheContactlessReader()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, extended);
        QFETCH(int, contactless);
        QFETCH(QList<int>, psam);
        const std::vector<PcscReaderState> list = readers(names);
        const std::array<int, 3> chosen = choosePsamReaders(list, 0, extended.toStdString());
        QCOMPARE((QList<int>{chosen[0], chosen[1], chosen[2]}), psam);
        QCOMPARE(chooseContactlessReader(list, 0, chosen, extended.toStdString()), contactless);
    }

    void readerNamesAndAttributesAreReadWithinTheirLength_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("version");
        QTest::newRow("two names") << QByteArray("Reader A\0Reader B\0\0", 19)
                                   << QStringList{"Reader A", "Reader B"} << "Reader A"
                                   << "";
        QTest::newRow("no terminating zero")
            << QByteArray("Reader A\0Read", 13) << QStringList{"Reader A", "Read"} << "Reader A"
            << "";
        QTest::newRow("empty") << QByteArray() << QStringList{} << ""
                               << "";
        // 0x01040005 in host order: version 1.4, build 5.
        const QStringList versionAsNames{QStringLiteral("\x05"), QStringLiteral("\x04\x01")};
        QTest::newRow("version in 4 bytes")
            << QByteArray("\x05\x00\x04\x01", 4) << versionAsNames << "\x05"
            << "1.4.5";
        QTest::newRow("version in 8 bytes")
            << QByteArray("\x05\x00\x04\x01\x00\x00\x00\x00", 8) << versionAsNames << "\x05"
            << "1.4.5";
        QTest::newRow("version in 3 bytes")
            << QByteArray("\x05\x00\x04", 3) << QStringList{"\x05", "\x04"} << "\x05"
            << "";
    }

    void readerNamesAndAttributesAreReadWithinTheirLength()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, names);
        QFETCH(QString, text);
        QFETCH(QString, version);
        QStringList split;
        for (const std::string &name : splitReaderNames(bytes.constData(), bytes.size()))
            split << QString::fromStdString(name);
        QCOMPARE(split, names);
        const auto *raw = reinterpret_cast<const unsigned char *>(bytes.constData());
        QCOMPARE(QString::fromStdString(attributeText(raw, bytes.size())), text);
        QCOMPARE(QString::fromStdString(versionText(raw, bytes.size())), version);
    }

    void longReaderTextsAreCutAtACharacter()
    {
        char out[longestText + 1 + 8];
        std::memset(out, 'x', sizeof out);
        // 85 three-byte characters are 255 bytes; one more does not fit.
        std::string text;
        for (int i = 0; i < 86; ++i)
            text += "读";
        copyTextBounded(text, out);
        QCOMPARE(std::strlen(out), std::size_t(255));
        QCOMPARE(out[256], 'x');
        // Starting one byte into a character, the 255th byte would start one.
        copyTextBounded(text.substr(1), out);
        QCOMPARE(std::strlen(out), std::size_t(254));
    }

    // Whatever a reader answers, the card logic gives a code and copies no
    // more than the caller's buffer takes.
    void responsesOfAnyShape_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<qint64>("apdu");
        QTest::addColumn<qint64>("readBlock");
        QTest::addColumn<qint64>("writeBlock");
        QTest::addColumn<qint64>("findCard");
        const QByteArray block = QByteArray(32, '1');
        QTest::newRow("empty") << QByteArray() << qint64(TransmissionError)
                               << qint64(TransmissionError) << qint64(TransmissionError)
                               << qint64(TransmissionError);
        QTest::newRow("one byte") << QByteArray("90") << qint64(TransmissionError)
                                  << qint64(TransmissionError) << qint64(TransmissionError)
                                  << qint64(TransmissionError);
        QTest::newRow("9000 alone") << QByteArray("9000") << qint64(Ok) << qint64(TransmissionError)
                                    << qint64(Ok) << qint64(M1NoCard);
        QTest::newRow("16 bytes and 9000")
            << block + "9000" << qint64(Ok) << qint64(Ok) << qint64(Ok) << qint64(M1NoCard);
        QTest::newRow("17 bytes and 9000")
            << block + "AA9000" << qint64(Ok) << qint64(TransmissionError) << qint64(Ok)
            << qint64(M1NoCard);
        QTest::newRow("61xx") << QByteArray("6110") << qint64(Ok) << qint64(UnacceptableStatusWord)
                              << qint64(UnacceptableStatusWord) << qint64(M1NoCard);
        QTest::newRow("not authenticated")
            << QByteArray("6982") << qint64(Ok) << qint64(M1NotAuthenticated)
            << qint64(M1NotAuthenticated) << qint64(M1NoCard);
        QTest::newRow("beyond the card") << QByteArray("6A82") << qint64(Ok) << qint64(M1BadBlock)
                                         << qint64(M1BadBlock) << qint64(M1NoCard);
        QTest::newRow("data with an error status word")
            << block + "6F00" << qint64(Ok) << qint64(UnacceptableStatusWord)
            << qint64(UnacceptableStatusWord) << qint64(M1NoCard);
        QTest::newRow("longer than the caller's buffer")
            << QByteArray(2 * 1030, 'A') + "9000" << qint64(ReplyTooLong)
            << qint64(TransmissionError) << qint64(Ok) << qint64(M1NoCard);
    }

    void responsesOfAnyShape()
    {
        QFETCH(QByteArray, response);
        QFETCH(qint64, apdu);
        QFETCH(qint64, readBlock);
        QFETCH(qint64, writeBlock);
        QFETCH(qint64, findCard);
        ScriptedChannel channel(bytesOf(response));
        const unsigned char command[] = {0x00, 0xB0, 0x00, 0x00, 0x00};
        Bytes answer;
        Code result = cpuTransmit(channel, command, sizeof command, answer);
        unsigned char buffer[longestApdu] = {};
        int64_t length = -1;
        if (result == Ok)
            result = copyReply(answer, longestApdu, buffer, &length);
        QCOMPARE(qint64(result), apdu);
        if (result == Ok)
            QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), int(length)).toHex().toUpper(),
                     response.toUpper());

        Bytes data;
        QCOMPARE(qint64(m1ReadBlock(channel, 4, data)), readBlock);
        const unsigned char written[m1BlockSize] = {};
        QCOMPARE(qint64(m1WriteBlock(channel, 4, written)), writeBlock);
        Bytes uid;
        QCOMPARE(qint64(m1FindCard(channel, uid)), findCard);
    }
};

QTEST_MAIN(TestPcscReaders)
#include "tst_pcscreaders.moc"

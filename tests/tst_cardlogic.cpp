// The device library's card logic on its own: status words, what channel
// failures become, the M1 sector layout and UIDs of 7 bytes, the bound on
// replies copied into the caller's buffers, and the transactions around
// operations of several commands.
#include "buffers.h"
#include "cpu.h"
#include "m1.h"
#include "m1card.h"
#include "simulatedcard.h"
#include "simulatedchannel.h"
#include "ssse.h"
#include "statusword.h"

#include <QtTest>

namespace {

// A channel whose every operation fails with the result it is given.
class FailingChannel : public device::Channel
{
public:
    explicit FailingChannel(device::ChannelResult result) : m_result(result) {}
    device::ChannelResult powerOn(device::Bytes &) override { return m_result; }
    device::ChannelResult transmit(const unsigned char *, std::size_t, device::Bytes &) override
    {
        return m_result;
    }
    void powerOff() override {}
    bool isPowered() const override { return true; }
    std::uint64_t session() const override { return 0; }

private:
    device::ChannelResult m_result;
};

// The simulated M1 card, but with a 7-byte UID in GET DATA.
class SevenByteUidCard : public sim::M1Card
{
public:
    sim::Bytes respond(const unsigned char *command, std::size_t length) override
    {
        if (length >= 2 && command[0] == 0xFF && command[1] == 0xCA)
            return {0x04, 0x5A, 0x1F, 0xC3, 0x27, 0x80, 0x11, 0x90, 0x00};
        return M1Card::respond(command, length);
    }
};

// A simulated card whose channel notes the transactions: how many began,
// how deep they are now, and every command sent outside one.
class TransactionChannel : public device::SimulatedChannel
{
public:
    using SimulatedChannel::SimulatedChannel;
    device::ChannelResult transmit(const unsigned char *command, std::size_t length,
                                   device::Bytes &response) override
    {
        if (depth == 0)
            outside << QByteArray(reinterpret_cast<const char *>(command), 2).toHex().toUpper();
        return SimulatedChannel::transmit(command, length, response);
    }
    device::ChannelResult beginTransaction() override
    {
        ++begun;
        ++depth;
        return device::ChannelResult::Ok;
    }
    void endTransaction() override { --depth; }

    int begun = 0;
    int depth = 0;
    QByteArrayList outside;
};

} // namespace

class TestCardLogic : public QObject
{
    Q_OBJECT

private slots:
    void statusWordsAreRead_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<int>("sw");
        QTest::addColumn<bool>("success");
        QTest::addColumn<int>("moreData");
        QTest::addColumn<int>("exactLe");
        QTest::newRow("data and 9000")
            << QByteArray::fromHex("01029000") << 0x9000 << true << 0 << 0;
        QTest::newRow("61 00 is 256 bytes")
            << QByteArray::fromHex("6100") << 0x6100 << false << 256 << 0;
        QTest::newRow("6C 10") << QByteArray::fromHex("6C10") << 0x6C10 << false << 0 << 16;
        QTest::newRow("one byte") << QByteArray::fromHex("90") << 0 << false << 0 << 0;
        QTest::newRow("empty") << QByteArray() << 0 << false << 0 << 0;
    }

    void statusWordsAreRead()
    {
        QFETCH(QByteArray, response);
        QFETCH(int, sw);
        QFETCH(bool, success);
        QFETCH(int, moreData);
        QFETCH(int, exactLe);
        const device::Bytes bytes(response.begin(), response.end());
        const uint16_t word = device::statusWord(bytes);
        QCOMPARE(int(word), sw);
        QCOMPARE(device::isSuccess(word), success);
        QCOMPARE(device::hasMoreData(word) ? int(device::lengthIn(word)) : 0, moreData);
        QCOMPARE(device::isWrongLe(word) ? int(device::lengthIn(word)) : 0, exactLe);
    }

    void channelFailuresBecomeResultCodes_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<qint64>("cpu");
        QTest::addColumn<qint64>("m1");
        using device::ChannelResult;
        QTest::newRow("no card") << int(ChannelResult::NoCard) << qint64(device::NoCard)
                                 << qint64(device::M1NoCard);
        QTest::newRow("not powered") << int(ChannelResult::NotPowered)
                                     << qint64(device::CpuNotPowered) << qint64(device::M1NoCard);
        QTest::newRow("card removed") << int(ChannelResult::CardRemoved)
                                      << qint64(device::CardRemoved) << qint64(device::CardRemoved);
        QTest::newRow("reader removed")
            << int(ChannelResult::ReaderRemoved) << qint64(device::ReaderRemoved)
            << qint64(device::ReaderRemoved);
        QTest::newRow("transmission error")
            << int(ChannelResult::TransmissionError) << qint64(device::TransmissionError)
            << qint64(device::TransmissionError);
    }

    void channelFailuresBecomeResultCodes()
    {
        QFETCH(int, result);
        QFETCH(qint64, cpu);
        QFETCH(qint64, m1);
        FailingChannel channel(static_cast<device::ChannelResult>(result));
        device::Bytes reply;
        const unsigned char command[] = {0x00, 0x84, 0x00, 0x00, 0x08};
        QCOMPARE(qint64(device::cpuPowerOn(channel, reply)), cpu);
        QCOMPARE(qint64(device::cpuTransmit(channel, command, sizeof command, reply)), cpu);
        QCOMPARE(qint64(device::m1FindCard(channel, reply)), m1);
        QCOMPARE(qint64(device::m1ReadBlock(channel, 1, reply)), m1);
    }

    void m1SectorsStartWhereA4KCardHasThem_data()
    {
        QTest::addColumn<int>("sector");
        QTest::addColumn<int>("block");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("15") << 15 << 60;
        QTest::newRow("31, last small sector") << 31 << 124;
        QTest::newRow("32, first large sector") << 32 << 128;
        QTest::newRow("39") << 39 << 240;
        QTest::newRow("40") << 40 << -1;
        QTest::newRow("255") << 255 << -1;
    }

    void m1SectorsStartWhereA4KCardHasThem()
    {
        QFETCH(int, sector);
        QFETCH(int, block);
        QCOMPARE(device::m1FirstBlockOf(sector), block);
    }

    void m1SevenByteUidIsFoundAndComparedByItsFirstFourBytes()
    {
        device::SimulatedChannel channel(std::make_unique<SevenByteUidCard>());
        device::Bytes uid;
        QCOMPARE(device::m1FindCard(channel, uid), device::Ok);
        QCOMPARE(uid, device::Bytes({0x04, 0x5A, 0x1F, 0xC3, 0x27, 0x80, 0x11}));
        const auto key = sim::M1Card::factoryKey;
        QCOMPARE(device::m1Authenticate(channel, 'A', 0, key.data(), uid.data()), device::Ok);
        const unsigned char otherCard[] = {0x5A, 0x1F, 0xC3, 0x27};
        QCOMPARE(device::m1Authenticate(channel, 'A', 0, key.data(), otherCard),
                 device::M1WrongUid);
    }

    // Another program's command must not come between ours, and our
    // transaction must not outlast the operation, whichever way it ends.
    void operationsOfSeveralCommandsHoldOneTransaction_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<QByteArrayList>("outside");
        QTest::newRow("M1 authentication") << 0 << qint64(device::Ok) << QByteArrayList{"FFCA"};
        QTest::newRow("M1 authentication, wrong key")
            << 2 << qint64(device::M1WrongKey) << QByteArrayList{"FFCA"};
        QTest::newRow("social security read") << 3 << qint64(device::Ok) << QByteArrayList{};
    }

    void operationsOfSeveralCommandsHoldOneTransaction()
    {
        QFETCH(int, operation);
        QFETCH(qint64, code);
        QFETCH(QByteArrayList, outside);
        const bool m1 = operation < 3;
        TransactionChannel channel(sim::makeCard(m1 ? sim::CardKind::M1 : sim::CardKind::User));
        device::Code result = device::Ok;
        if (m1) {
            device::Bytes uid;
            QCOMPARE(device::m1FindCard(channel, uid), device::Ok);
            auto key = sim::M1Card::factoryKey;
            if (operation == 2)
                key[0] ^= 0xFF;
            result = device::m1Authenticate(channel, 'A', 1, key.data(), uid.data());
        } else {
            QStringList fields;
            QString problem;
            result = device::readSocialSecurityCard(channel, fields, problem);
        }
        QCOMPARE(qint64(result), code);
        QCOMPARE(channel.begun, 1);
        QCOMPARE(channel.depth, 0);
        QCOMPARE(channel.outside, outside);
    }

    void repliesLongerThanTheBufferAreRefused_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<qint64>("code");
        QTest::newRow("status word only") << 2 << qint64(device::Ok);
        QTest::newRow("the longest") << int(device::longestApdu) << qint64(device::Ok);
        QTest::newRow("one more") << int(device::longestApdu) + 1 << qint64(device::ReplyTooLong);
    }

    void repliesLongerThanTheBufferAreRefused()
    {
        QFETCH(int, size);
        QFETCH(qint64, code);
        QByteArray buffer(int(device::longestApdu) + 8, '\x55');
        int64_t length = -7;
        const device::Bytes reply(static_cast<std::size_t>(size), 0xA5);
        QCOMPARE(
            qint64(device::copyReply(reply, device::longestApdu,
                                     reinterpret_cast<unsigned char *>(buffer.data()), &length)),
            code);
        const int written = code == device::Ok ? size : 0;
        QCOMPARE(length, code == device::Ok ? int64_t(size) : int64_t(-7));
        QCOMPARE(buffer.count('\xA5'), written);
    }
};

QTEST_GUILESS_MAIN(TestCardLogic)
#include "tst_cardlogic.moc"

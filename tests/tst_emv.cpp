// The terminal flow's parsers on hostile card data (BER-TLV, AFL, DOL, log
// records), and the flow itself against cards that answer wrongly: a scripted
// card, and the simulated user card with one field protected.
#include "afl.h"
#include "bank.h"
#include "dol.h"
#include "simulatedcard.h"
#include "simulatedchannel.h"
#include "ssse.h"
#include "tlv.h"

#include <QtTest>

#include <deque>

using device::Bytes;

namespace {

Bytes hex(const char *text)
{
    const QByteArray raw = QByteArray::fromHex(text);
    return Bytes(raw.begin(), raw.end());
}

// A card that answers each command with the next response of its script,
// then 6A82; it counts what it was sent.
class ScriptedCard : public device::Channel
{
public:
    explicit ScriptedCard(std::deque<Bytes> responses) : m_responses(std::move(responses)) {}
    device::ChannelResult powerOn(Bytes &atr) override
    {
        atr = {0x3B, 0x00};
        m_powered = true;
        return device::ChannelResult::Ok;
    }
    device::ChannelResult transmit(const unsigned char *command, std::size_t length,
                                   Bytes &response) override
    {
        sent.push_back(
            QByteArray(reinterpret_cast<const char *>(command), int(length)).toHex().toUpper());
        if (m_responses.empty()) {
            response = {0x6A, 0x82};
        } else {
            response = m_responses.front();
            m_responses.pop_front();
        }
        return device::ChannelResult::Ok;
    }
    void powerOff() override { m_powered = false; }
    bool isPowered() const override { return m_powered; }
    std::uint64_t session() const override { return 0; }

    QList<QByteArray> sent;

private:
    std::deque<Bytes> m_responses;
    bool m_powered = false;
};

// The simulated user card, noting the instruction byte of every command;
// optionally with the holder's place of birth behind a security module, as
// some issuers keep it.
class UserCard : public device::Channel
{
public:
    explicit UserCard(bool protectBirthPlace = false)
        : m_channel(sim::makeCard(sim::CardKind::User)), m_protect(protectBirthPlace)
    {
    }
    device::ChannelResult powerOn(Bytes &atr) override { return m_channel.powerOn(atr); }
    device::ChannelResult transmit(const unsigned char *command, std::size_t length,
                                   Bytes &response) override
    {
        instructions << QByteArray(1, char(command[1])).toHex().toUpper();
        if (m_protect && command[1] == 0xB2 && command[2] == 0x0C) {
            response = {0x69, 0x82};
            return device::ChannelResult::Ok;
        }
        return m_channel.transmit(command, length, response);
    }
    void powerOff() override { m_channel.powerOff(); }
    bool isPowered() const override { return m_channel.isPowered(); }
    std::uint64_t session() const override { return m_channel.session(); }

    QByteArrayList instructions;

private:
    device::SimulatedChannel m_channel;
    bool m_protect;
};

QList<QByteArray> repeated(int count, const QByteArray &response)
{
    QList<QByteArray> responses;
    for (int i = 0; i < count; ++i)
        responses << response;
    return responses;
}

} // namespace

class TestEmv : public QObject
{
    Q_OBJECT

private slots:
    void tlvTakesCardDataApart_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("objects"); // -1: refused
        QTest::addColumn<uint>("tag");    // searched through templates
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("nested template")
            << QByteArray("6F07A5058703010203") << 1 << 0x87u << QByteArray("010203");
        QTest::newRow("three-byte tag")
            << QByteArray("DF81010155") << 1 << 0xDF8101u << QByteArray("55");
        QTest::newRow("four-byte tag") << QByteArray("DF81818101AA") << -1 << 0u << QByteArray();
        QTest::newRow("long length")
            << QByteArray("5A8200020102") << 1 << 0x5Au << QByteArray("0102");
        QTest::newRow("indefinite length") << QByteArray("7080") << -1 << 0u << QByteArray();
        QTest::newRow("length beyond the response")
            << QByteArray("70FF5A0101") << -1 << 0x5Au << QByteArray();
        QTest::newRow("repeated tag: the first counts")
            << QByteArray("5A01015A0102") << 2 << 0x5Au << QByteArray("01");
        QTest::newRow("padding between objects")
            << QByteArray("005A0101FFFF") << 1 << 0x5Au << QByteArray("01");
    }

    void tlvTakesCardDataApart()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, objects);
        QFETCH(uint, tag);
        QFETCH(QByteArray, value);
        const Bytes bytes = hex(data);
        const auto parsed = device::parseTlv(bytes.data(), bytes.size());
        QCOMPARE(parsed ? int(parsed->size()) : -1, objects);
        if (tag == 0)
            return;
        const std::optional<Bytes> found = device::findTlv(bytes, tag);
        QCOMPARE(found.has_value(), !value.isEmpty());
        if (found)
            QCOMPARE(*found, hex(value));
    }

    void aflEntriesAreChecked_data()
    {
        QTest::addColumn<QByteArray>("afl");
        QTest::addColumn<int>("entries");
        QTest::newRow("two files") << QByteArray("0801010010010201") << 2;
        QTest::newRow("255 records") << QByteArray("0801FF00") << 1;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("three bytes") << QByteArray("080101") << -1;
        QTest::newRow("SFI 0") << QByteArray("00010100") << -1;
        QTest::newRow("record 0") << QByteArray("08000100") << -1;
        QTest::newRow("last before first") << QByteArray("08020100") << -1;
        QTest::newRow("more ODA records than records") << QByteArray("08010102") << -1;
    }

    void aflEntriesAreChecked()
    {
        QFETCH(QByteArray, afl);
        QFETCH(int, entries);
        const auto parsed = device::parseAfl(hex(afl));
        QCOMPARE(parsed ? int(parsed->size()) : -1, entries);
    }

    void dolIsFilledByFormat_data()
    {
        QTest::addColumn<QByteArray>("dol");
        QTest::addColumn<QByteArray>("filled"); // empty: refused
        // Known values: 9F02 000000001234, 5A 6999 (cn), 9F4E 41 42 (ans).
        QTest::newRow("exact") << QByteArray("9F0206") << QByteArray("000000001234");
        QTest::newRow("numeric shorter: leading bytes cut")
            << QByteArray("9F0204") << QByteArray("00001234");
        QTest::newRow("numeric longer: leading zeros")
            << QByteArray("9F0208") << QByteArray("0000000000001234");
        QTest::newRow("cn padded with FF") << QByteArray("5A04") << QByteArray("6999FFFF");
        QTest::newRow("text padded with 00") << QByteArray("9F4E04") << QByteArray("41420000");
        QTest::newRow("unknown tag: zeros") << QByteArray("9F7C03") << QByteArray("000000");
        QTest::newRow("length missing") << QByteArray("9F02") << QByteArray();
    }

    void dolIsFilledByFormat()
    {
        QFETCH(QByteArray, dol);
        QFETCH(QByteArray, filled);
        const auto parsed = device::parseDol(hex(dol));
        QCOMPARE(parsed.has_value(), !filled.isEmpty());
        if (!parsed)
            return;
        const Bytes values = device::fillDol(*parsed, [](device::Tag tag) -> std::optional<Bytes> {
            switch (tag) {
            case 0x9F02:
                return hex("000000001234");
            case 0x5A:
                return hex("6999");
            case 0x9F4E:
                return hex("4142");
            default:
                return std::nullopt;
            }
        });
        QCOMPARE(values, hex(filled));
    }

    void aDolAsking255BytesIsFilledAndLogRecordsMustCoverTheirFormat()
    {
        const auto dol = device::parseDol(hex("9F02FF"));
        QVERIFY(dol);
        QCOMPARE(device::fillDol(*dol, [](device::Tag) { return std::nullopt; }).size(), 255u);
        const auto format = device::parseDol(hex("9A039F3602DF7C01"));
        QCOMPARE(device::logLine(1, *format, hex("2603090012AB")),
                 std::optional<std::string>("1. 日期 260309  ATC 0012  DF7C AB"));
        QCOMPARE(device::logLine(1, *format, hex("26030900")), std::nullopt);
    }

    void hostileCardsAreRefusedWithinBounds_data()
    {
        QTest::addColumn<QList<QByteArray>>("responses");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<int>("commands");
        const QByteArray ppse =
            "6F21840E325041592E5359532E4444463031A50FBF0C0C610A4F08A0000003330101019000";
        const QByteArray fci = "6F0A8408A0000003330101019000";
        QTest::newRow("no application anywhere")
            << QList<QByteArray>{} << qint64(device::BankNoApplication) << 6;
        // Each card has no PSE (6A82), so its PPSE comes second.
        QTest::newRow("AFL naming 255 records")
            << QList<QByteArray>{"6A82", ppse, fci, "770A82027C0094040801FF009000"}
                   + repeated(64, "70035A01019000")
            << qint64(device::BankBadCardData) << 4 + 64;
        QTest::newRow("PDOL asking 255 bytes twice")
            << QList<QByteArray>{"6A82", ppse, "6F0BA5099F38069F02FF9F03FF9000"}
            << qint64(device::BankBadCardData) << 3;
        QTest::newRow("record length beyond the response")
            << QList<QByteArray>{"6A82", ppse, fci, "770A82027C009404080101009000", "70FF5A9000"}
            << qint64(device::BankBadCardData) << 5;
        QTest::newRow("endless 61xx") << repeated(200, "6101") << qint64(device::TransmissionError)
                                      << device::mostCommandsPerOperation;
    }

    void hostileCardsAreRefusedWithinBounds()
    {
        QFETCH(QList<QByteArray>, responses);
        QFETCH(qint64, code);
        QFETCH(int, commands);
        std::deque<Bytes> script;
        for (const QByteArray &response : responses)
            script.push_back(hex(response));
        ScriptedCard card(script);
        std::string text;
        QCOMPARE(qint64(device::readBankCardData(card, {}, "A", text)), code);
        QCOMPARE(card.sent.size(), commands);
        QVERIFY(text.empty());
    }

    void eachOperationSendsItsSequence()
    {
        UserCard card;
        std::string text, results, tc;
        QCOMPARE(device::readBankCardData(card, {}, "ABEFGO", text), device::Ok);
        // PSE and its directory record (the second is 6A83), the application.
        QCOMPARE(card.instructions.join(' '), QByteArray("A4 B2 B2 A4 A8 B2 B2 CA CA CA CA"));
        card.instructions.clear();
        device::OnlineTransaction transaction;
        QCOMPARE(device::requestArqc(card, "P012000000000100",
                                     *sim::parseBankElements("P012000000000100"), transaction),
                 device::Ok);
        QCOMPARE(card.instructions.join(' '), QByteArray("A4 B2 B2 A4 A8 B2 B2 AE"));
        card.instructions.clear();
        QCOMPARE(device::completeOnline(transaction, "00112233445566773030", results, tc),
                 device::CardDeclined);
        QCOMPARE(card.instructions.join(' '), QByteArray("82 AE"));
        card.instructions.clear();
        QCOMPARE(device::readBankLog(card, true, 4096, text), device::Ok);
        QCOMPARE(card.instructions.join(' '), QByteArray("A4 B2 B2 A4 CA B2 B2 B2 B2 B2"));
        card.instructions.clear();
        QStringList fields;
        QString problem;
        QCOMPARE(device::readSocialSecurityCard(card, fields, problem), device::Ok);
        QCOMPARE(card.instructions.join(' '),
                 QByteArray("A4 A4 A4 B2 B2 B2 B2 B2 B2 A4 A4 B2 B2 B2 B2 B2 B2 B2 B2"));
        QCOMPARE(fields.size(), 15);
    }

    void protectedSocialSecurityFieldsAreNamedNotInvented()
    {
        UserCard card(true);
        QStringList fields;
        QString problem;
        QCOMPARE(qint64(device::readSocialSecurityCard(card, fields, problem)),
                 qint64(device::SocialSecurityProtected));
        QCOMPARE(problem, QStringLiteral("社保卡数据需安全模块认证：出生地"));
        QVERIFY(fields.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEmv)
#include "tst_emv.moc"

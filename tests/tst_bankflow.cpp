// The bank card flow against scripted cards, one table per step a terminal
// takes: the command exchange of T=0, sessions and transactions, application
// selection, processing options, the quick contactless flow, and online
// completion. Each row is a card as real cards behave.
#include "bank.h"
#include "bankapplication.h"
#include "bankonline.h"
#include "bankprocessing.h"
#include "bankselection.h"
#include "cardexchange.h"
#include "simulatedchannel.h"

#include <QtTest>

using device::Bytes;

namespace {

Bytes hex(const QByteArray &text)
{
    const QByteArray raw = QByteArray::fromHex(text);
    return Bytes(raw.begin(), raw.end());
}

QByteArray hexOf(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()))
        .toHex()
        .toUpper();
}

// A card that answers each command with the first unused rule whose command
// prefix it matches (the last such rule once all are used), else 6A82. Rules
// are "PREFIX=RESPONSE" in hexadecimal. It notes the commands, power-ons and
// transactions, and can fail the first command as a card that went silent.
class ScriptedCard : public device::Channel
{
public:
    explicit ScriptedCard(const QByteArrayList &rules, QByteArray atr = "3B00") : m_atr(hex(atr))
    {
        for (const QByteArray &rule : rules)
            m_rules.push_back(
                {rule.left(rule.indexOf('=')), rule.mid(rule.indexOf('=') + 1), false});
    }
    device::ChannelResult powerOn(Bytes &atr) override
    {
        atr = m_atr;
        m_powered = true;
        ++m_session;
        ++powerOns;
        return device::ChannelResult::Ok;
    }
    device::ChannelResult transmit(const unsigned char *command, std::size_t length,
                                   Bytes &response) override
    {
        if (silentOnce) {
            silentOnce = false;
            return device::ChannelResult::TransmissionError;
        }
        const QByteArray sentHex = hexOf(Bytes(command, command + length));
        sent << sentHex;
        Rule *chosen = nullptr;
        for (Rule &rule : m_rules) {
            if (sentHex.startsWith(rule.prefix) && (!chosen || chosen->used))
                chosen = &rule;
            if (chosen && !chosen->used)
                break;
        }
        response = hex(chosen ? chosen->response : QByteArray("6A82"));
        if (chosen)
            chosen->used = true;
        return device::ChannelResult::Ok;
    }
    void powerOff() override { m_powered = false, ++m_session; }
    bool isPowered() const override { return m_powered; }
    std::uint64_t session() const override { return m_session; }
    device::ChannelResult currentAtr(Bytes &atr) override
    {
        atr = m_atr;
        return device::ChannelResult::Ok;
    }
    device::ChannelResult beginTransaction() override
    {
        ++transactions;
        return device::ChannelResult::Ok;
    }
    void endTransaction() override { --transactions, ++ended; }

    // The instruction bytes sent, and the SELECTs' data.
    QByteArray instructions() const
    {
        QByteArrayList list;
        for (const QByteArray &command : sent)
            list << command.mid(2, 2);
        return list.join(' ');
    }
    QByteArray selected() const
    {
        QByteArrayList list;
        for (const QByteArray &command : sent) {
            if (command.startsWith("00A404"))
                list << command.mid(10, command.size() - 12)
                            + (command.mid(6, 2) == "02" ? "+" : "");
        }
        return list.join(' ');
    }

    // The first command sent that begins with prefix.
    QByteArray first(const QByteArray &prefix) const
    {
        for (const QByteArray &command : sent) {
            if (command.startsWith(prefix))
                return command;
        }
        return QByteArray();
    }

    QByteArrayList sent;
    int powerOns = 0, transactions = 0, ended = 0;
    bool silentOnce = false;

private:
    struct Rule
    {
        QByteArray prefix, response;
        bool used;
    };
    std::vector<Rule> m_rules;
    Bytes m_atr;
    bool m_powered = false;
    std::uint64_t m_session = 0;
};

// Directory entries and answers of a scripted payment card.
QByteArray entry(const QByteArray &aid, int priority = -1)
{
    QByteArray inner = "4F" + QByteArray::number(aid.size() / 2, 16).rightJustified(2, '0') + aid;
    if (priority >= 0)
        inner += "8701" + QByteArray::number(priority, 16).rightJustified(2, '0');
    return "61" + QByteArray::number(inner.size() / 2, 16).rightJustified(2, '0') + inner;
}
QByteArray tlvHex(const QByteArray &tag, const QByteArray &value)
{
    return tag + QByteArray::number(value.size() / 2, 16).rightJustified(2, '0') + value;
}
const QByteArray pse = "00A404000E315041592E5359532E4444463031";
const QByteArray ppse = "00A404000E325041592E5359532E4444463031";
const QByteArray pseFci = "=6F15840E315041592E5359532E4444463031A503880101"
                          "9000";
QByteArray pseRecord(const QByteArray &entries)
{
    return "00B2010C=" + tlvHex("70", entries) + "9000";
}
QByteArray ppseFci(const QByteArray &entries)
{
    return "="
           + tlvHex("6F",
                    "840E325041592E5359532E4444463031" + tlvHex("A5", tlvHex("BF0C", entries)))
           + "9000";
}
QByteArray select(const QByteArray &aid)
{
    return "00A40400" + QByteArray::number(aid.size() / 2, 16).rightJustified(2, '0').toUpper()
           + aid;
}
QByteArray fci(const QByteArray &aid, const QByteArray &pdol = QByteArray())
{
    return "="
           + tlvHex("6F",
                    tlvHex("84", aid) + (pdol.isEmpty() ? "" : tlvHex("A5", tlvHex("9F38", pdol))))
           + "9000";
}
const QByteArray debit = "A000000333010101", credit = "A000000333010102",
                 quasi = "A000000333010103";
// AIP with issuer authentication; AFL: SFI 2 record 1, holding the PAN and
// the CDOLs (CDOL2 asks for the response code, TVR and TSI).
const QByteArray gpoFull = "80A8=770A82027C00940410010100"
                           "9000";
QByteArray panRecord(const QByteArray &pan)
{
    return "00B20114="
           + tlvHex("70", tlvHex("5A", pan)
                              + "8C0B9F02069505"
                                "9F3303"
                                "9F3704"
                              + "8D068A0295059B02")
           + "9000";
}

} // namespace

class TestBankFlow : public QObject
{
    Q_OBJECT

private slots:
    void exchangeFollowsT0_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArrayList>("rules");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<uint>("sw");
        QTest::newRow("case 4, warning without data: GET RESPONSE, the warning kept")
            << QByteArray("00A4040002AABB00") << QByteArrayList{"00A4=6283", "00C0=6F009000"}
            << QByteArray("00A4040002AABB00 00C0000000") << QByteArray("6F00") << 0x6283u;
        QTest::newRow("GET RESPONSE answered 6Cxx is asked again with that length")
            << QByteArray("80A8000002830000")
            << QByteArrayList{"80A8=6104", "00C0000004=6C02", "00C0000002=AABB9000"}
            << QByteArray("80A8000002830000 00C0000004 00C0000002") << QByteArray("AABB")
            << 0x9000u;
        QTest::newRow("case 3 warning: no GET RESPONSE")
            << QByteArray("0082000002AABB") << QByteArrayList{"0082=6300"}
            << QByteArray("0082000002AABB") << QByteArray() << 0x6300u;
    }

    void exchangeFollowsT0()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArrayList, rules);
        ScriptedCard card(rules);
        Bytes atr, data;
        uint16_t sw = 0;
        device::CardExchange exchange(card, 8);
        QCOMPARE(exchange.start(atr), device::Ok);
        QCOMPARE(exchange.send(hex(command), data, sw), device::Ok);
        QTEST(card.sent.join(' '), "sent");
        QTEST(hexOf(data), "answer");
        QTEST(uint(sw), "sw");
    }

    void operationsKeepThePoweredCardAndHoldATransaction_data()
    {
        QTest::addColumn<bool>("powered");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<int>("powerOns");
        QTest::newRow("card not powered: powered on") << false << false << 1;
        QTest::newRow("powered card: used as it is") << true << false << 0;
        QTest::newRow("powered card that does not answer: reset") << true << true << 1;
    }

    void operationsKeepThePoweredCardAndHoldATransaction()
    {
        QFETCH(bool, powered);
        QFETCH(bool, silent);
        ScriptedCard card({pse + pseFci, pseRecord(entry(debit, 1)), select(debit) + fci(debit),
                           gpoFull, panRecord("6999002000111101")});
        Bytes atr;
        if (powered)
            card.powerOn(atr), card.powerOns = 0;
        card.silentOnce = silent;
        std::string text;
        QCOMPARE(device::readBankCardData(card, {}, "A", text), device::Ok);
        QCOMPARE(QByteArray::fromStdString(text), QByteArray("A0166999002000111101"));
        QTEST(card.powerOns, "powerOns");
        QCOMPARE(card.transactions, 0);
        QCOMPARE(card.ended, 1);
    }

    void candidatesFollowPriorityAndTheCardsAnswers_data()
    {
        QTest::addColumn<int>("interface");
        QTest::addColumn<QByteArrayList>("rules");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<QByteArray>("selected");
        const QByteArray listed =
            entry(quasi) + entry(credit, 1) + entry("F00000099901", 1) + entry(debit, 2);
        const int contact = int(device::CardInterface::Contact);
        const int contactless = int(device::CardInterface::Contactless);
        QTest::newRow("PSE: priority first, no priority last, unsupported left out")
            << contact
            << QByteArrayList{pse + pseFci, pseRecord(listed), select(credit) + fci(credit),
                              gpoFull, panRecord("11")}
            << qint64(device::Ok) << "1PAY.SYS.DDF01 " + credit;
        QTest::newRow("GPO 6985 drops the application, 6283 on SELECT too")
            << contact
            << QByteArrayList{pse + pseFci,
                              pseRecord(listed),
                              select(credit) + "=6283",
                              select(debit) + fci(debit),
                              "80A8=6985",
                              select(quasi) + fci(quasi),
                              gpoFull,
                              panRecord("11")}
            << qint64(device::Ok) << "1PAY.SYS.DDF01 " + credit + " " + debit + " " + quasi;
        QTest::newRow("every candidate refuses: no application")
            << contact
            << QByteArrayList{pse + pseFci, pseRecord(entry(debit, 1)), select(debit) + fci(debit),
                              "80A8=6985"}
            << qint64(device::BankNoApplication) << "1PAY.SYS.DDF01 " + debit;
        QTest::newRow("blocked card: its own code")
            << contact << QByteArrayList{pse + "=6A81"} << qint64(device::BankCardBlocked)
            << QByteArray("1PAY.SYS.DDF01");
        QTest::newRow("contact: PPSE after an empty PSE")
            << contact
            << QByteArrayList{ppse + ppseFci(entry(debit)), select(debit) + fci(debit), gpoFull,
                              panRecord("11")}
            << qint64(device::Ok) << "1PAY.SYS.DDF01 2PAY.SYS.DDF01 " + debit;
        QTest::newRow("contactless: no PSE")
            << contactless
            << QByteArrayList{ppse + ppseFci(entry(debit)), select(debit) + fci(debit), gpoFull,
                              panRecord("11")}
            << qint64(device::Ok) << "2PAY.SYS.DDF01 " + debit;
        QTest::newRow("no directory: list of AIDs, next occurrence after a longer name")
            << contactless
            << QByteArrayList{select(debit) + fci(debit + "01"),
                              "00A4040208" + debit + fci(debit + "02"),
                              "00A4040208" + debit + "=6A82",
                              select(debit + "02") + fci(debit + "02"),
                              gpoFull,
                              panRecord("11")}
            << qint64(device::Ok)
            << "2PAY.SYS.DDF01 " + debit + " " + debit + "+ " + debit + "+ " + credit + " " + quasi
                   + " A000000333010106 " + debit + "01 " + debit + "02";
    }

    void candidatesFollowPriorityAndTheCardsAnswers()
    {
        QFETCH(int, interface);
        QFETCH(QByteArrayList, rules);
        ScriptedCard card(rules);
        std::string text;
        QTEST(
            qint64(device::readBankCardData(card, {}, "A", text, device::CardInterface(interface))),
            "code");
        QTEST(card.selected()
                  .replace("315041592E5359532E4444463031", "1PAY.SYS.DDF01")
                  .replace("325041592E5359532E4444463031", "2PAY.SYS.DDF01"),
              "selected");
    }

    void processingOptions_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<bool>("cryptogram");
        QTest::newRow("format 1") << QByteArray("80067C0008010100") << true << false;
        QTest::newRow("format 2 with the quick flow's ARQC")
            << QByteArray("771C82027C009F260811223344556677889F2701809F360200139F100101") << true
            << true;
        QTest::newRow("cryptogram without its counter")
            << QByteArray("771382027C009F260811223344556677889F270180") << false << false;
        QTest::newRow("no AIP") << QByteArray("7706940408010100") << false << false;
    }

    void processingOptions()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, parsed);
        QFETCH(bool, cryptogram);
        const auto options = device::payment::parseProcessingOptions(hex(answer));
        QCOMPARE(options.has_value(), parsed);
        if (options)
            QCOMPARE(options->withCryptogram, cryptogram);
    }

    void longPdolTakesTheLongLengthForm_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("head"); // empty: does not fit
        QTest::newRow("127") << 127 << QByteArray("80A8000081837F");
        QTest::newRow("128") << 128 << QByteArray("80A8000083838180");
        QTest::newRow("252") << 252 << QByteArray("80A80000FF8381FC");
        QTest::newRow("253") << 253 << QByteArray();
    }

    void longPdolTakesTheLongLengthForm()
    {
        QFETCH(int, length);
        QFETCH(QByteArray, head);
        const auto command = device::payment::processingOptionsCommand(Bytes(std::size_t(length)));
        QCOMPARE(command.has_value(), !head.isEmpty());
        if (command)
            QVERIFY(hexOf(*command).startsWith(head));
    }

    void quickFlowTakesTheArqcFromProcessingOptions_data()
    {
        QTest::addColumn<QByteArray>("atr");
        QTest::addColumn<QByteArray>("gpo");
        QTest::addColumn<QByteArray>("instructions");
        const QByteArray contactlessAtr = "3B8880015352423100B38171";
        QTest::newRow("quick flow")
            << contactlessAtr
            << QByteArray("80A8=7722820200009404100101009F2608112233445566778"
                          "89F2701809F360200139F1001019000")
            << QByteArray("A4 A4 A8 B2");
        QTest::newRow("contactless card with the full flow only")
            << contactlessAtr << gpoFull << QByteArray("A4 A4 A8 B2 AE");
        QTest::newRow("contact ATR: the contact flow")
            << QByteArray("3B6C0000") << gpoFull << QByteArray("A4 B2 B2 A4 A8 B2 AE");
    }

    void quickFlowTakesTheArqcFromProcessingOptions()
    {
        QFETCH(QByteArray, atr);
        QFETCH(QByteArray, gpo);
        ScriptedCard card({pse + pseFci, pseRecord(entry(debit, 1)), ppse + ppseFci(entry(debit)),
                           select(debit) + fci(debit, "9F6604"), gpo, panRecord("11"),
                           "80AE=7714"
                           "9F2701809F360200149F2608AABBCCDDEEFF0011"
                           "9000"},
                          atr);
        device::OnlineTransaction transaction;
        QCOMPARE(device::requestArqc(card, "P012000000000100",
                                     *sim::parseBankElements("P012000000000100"), transaction,
                                     device::CardInterface::ByAnswerToReset),
                 device::Ok);
        QTEST(card.instructions(), "instructions");
        const QByteArray gpoSent = card.first("80A8");
        // The terminal transaction qualifiers announce the quick flow on contactless only.
        QCOMPARE((hex(gpoSent.mid(14, 2))[0] & 0x20) != 0, atr.startsWith("3B88"));
        QCOMPARE(QByteArray::fromStdString(transaction.arqc),
                 QByteArray(transaction.quick ? "1122334455667788" : "AABBCCDDEEFF0011"));
        // The card sent no 9F10 with GENERATE AC: none goes into the application data.
        QCOMPARE(QByteArray::fromStdString(transaction.trAppData).contains("9F1001"),
                 transaction.quick);
    }

    void onlineCompletionFollowsTheIssuer_data()
    {
        QTest::addColumn<QByteArray>("arpc");
        QTest::addColumn<QByteArray>("authentication"); // the card's answer
        QTest::addColumn<QByteArray>("sequence");
        QTest::addColumn<QByteArray>("cdol2"); // 8A, TVR, TSI sent with the second AC
        QTest::addColumn<qint64>("code");
        const QByteArray arpc = "0011223344556677";
        const QByteArray scripts = "7107860500DA9F7700"
                                   "7207860500DA9F7800";
        QTest::newRow("approved 00: TC")
            << arpc + "3030" << QByteArray("9000") << QByteArray("82 AE40")
            << QByteArray("303080000000001000") << qint64(device::Ok);
        QTest::newRow("approved 11: TC")
            << arpc + "3131" << QByteArray("9000") << QByteArray("82 AE40")
            << QByteArray("313180000000001000") << qint64(device::Ok);
        QTest::newRow("declined 05: AAC, the issuer's code")
            << arpc + "3035" << QByteArray("9000") << QByteArray("82 AE00")
            << QByteArray("303580000000001000") << qint64(device::IssuerDeclined);
        QTest::newRow("issuer authentication fails: AAC, TVR byte 5 bit 7")
            << arpc + "3030" << QByteArray("6300") << QByteArray("82 AE00")
            << QByteArray("303080000000401000") << qint64(device::CardDeclined);
        QTest::newRow("6985 to EXTERNAL AUTHENTICATE still ends the transaction")
            << arpc + "3030" << QByteArray("6985") << QByteArray("82 AE00")
            << QByteArray("303080000000401000") << qint64(device::CardDeclined);
        QTest::newRow("scripts: 71 after authentication, 72 after the AC; failed 71 in the TVR")
            << arpc + "3030" + scripts << QByteArray("9000") << QByteArray("82 DA AE40 DA")
            << QByteArray("303080000000201400") << qint64(device::Ok);
    }

    void onlineCompletionFollowsTheIssuer()
    {
        QFETCH(QByteArray, arpc);
        QFETCH(QByteArray, authentication);
        ScriptedCard card({"0082=" + authentication, "00DA=6A80",
                           "80AE00=7714"
                           "9F2701009F360200149F2608AABBCCDDEEFF0011"
                           "9000",
                           "80AE=7714"
                           "9F2701409F360200149F2608AABBCCDDEEFF0011"
                           "9000"});
        Bytes atr;
        card.powerOn(atr);
        device::OnlineTransaction transaction;
        transaction.channel = &card;
        transaction.session = card.session();
        transaction.aip = hex("7C00");
        transaction.cdol2 = *device::parseDol(hex("8A0295059B02"));
        transaction.terminal = {{0x95, hex("8000000000")}, {0x9B, hex("0000")}};
        std::string results, tc;
        QTEST(qint64(device::completeOnline(transaction, arpc, results, tc)), "code");
        QByteArrayList sequence;
        for (const QByteArray &command : card.sent)
            sequence << (command.mid(2, 2) == "AE" ? command.mid(2, 4) : command.mid(2, 2));
        QTEST(sequence.join(' '), "sequence");
        QTEST(card.first("80AE").mid(10, 18), "cdol2");
    }

    void simulatedUserCardPaysQuicklyOnlyContactless_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("quick");
        QTest::newRow("contact") << int(sim::CardKind::User) << false;
        QTest::newRow("type A") << int(sim::CardKind::UserTypeA) << true;
        QTest::newRow("type B") << int(sim::CardKind::UserTypeB) << true;
    }

    void simulatedUserCardPaysQuicklyOnlyContactless()
    {
        QFETCH(int, kind);
        QFETCH(bool, quick);
        device::SimulatedChannel card(sim::makeCard(sim::CardKind(kind)));
        device::OnlineTransaction transaction;
        QCOMPARE(device::requestArqc(card, "P012000000000100",
                                     *sim::parseBankElements("P012000000000100"), transaction,
                                     device::CardInterface::ByAnswerToReset),
                 device::Ok);
        QCOMPARE(transaction.quick, quick);
        const Bytes arqc = hex(QByteArray::fromStdString(transaction.arqc));
        const Bytes arpc = sim::simulatedArpc(arqc, {'0', '0'});
        std::string results, tc;
        QCOMPARE(device::completeOnline(transaction, hexOf(arpc) + "3030", results, tc),
                 device::Ok);
        QCOMPARE(tc.empty(), quick);
    }
};

QTEST_GUILESS_MAIN(TestBankFlow)
#include "tst_bankflow.moc"

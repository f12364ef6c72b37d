// The social security read across the layouts cards have: where EF05 lies,
// cards that refuse to read records by identifier, files that are missing,
// and each item decoded as the card holds it.
#include "cardbytes.h"
#include "cardos.h"
#include "ssse.h"

#include <QtTest>

using sim::tlv;
using Bytes = std::vector<unsigned char>;

namespace {

// A card built from a file tree, noting each command as "INS P1 P2".
class TreeCard : public device::Channel
{
public:
    explicit TreeCard(const sim::CardFile &mf) : m_mf(mf) {}
    device::ChannelResult powerOn(Bytes &atr) override
    {
        atr = {0x3B, 0x00};
        m_session = sim::startSession(m_mf, 1);
        m_powered = true;
        return device::ChannelResult::Ok;
    }
    device::ChannelResult transmit(const unsigned char *command, std::size_t length,
                                   Bytes &response) override
    {
        commands << QByteArray(reinterpret_cast<const char *>(command) + 1, 3).toHex(' ').toUpper();
        response = sim::respond(m_session, command, length);
        return device::ChannelResult::Ok;
    }
    void powerOff() override {}
    bool isPowered() const override { return m_powered; }
    std::uint64_t session() const override { return 0; }

    QByteArrayList commands;

private:
    bool m_powered = false;
    const sim::CardFile &m_mf;
    sim::CardSession m_session;
};

sim::CardFile ef(uint16_t id, std::vector<Bytes> records, bool byNumberOnly = false)
{
    sim::CardFile file;
    file.id = id;
    file.records = std::move(records);
    file.byNumberOnly = byNumberOnly;
    return file;
}

sim::CardFile df(uint16_t id, Bytes name, std::vector<sim::CardFile> children)
{
    sim::CardFile file;
    file.dedicated = true;
    file.id = id;
    file.name = std::move(name);
    file.children = std::move(children);
    return file;
}

const Bytes ssseName{0x73, 0x78, 0x31, 0x2E, 0x73, 0x68, 0x2E, 0xC9,
                     0xE7, 0xBB, 0xE1, 0xB1, 0xA3, 0xD5, 0xCF};

std::vector<Bytes> cardItems()
{
    return {tlv(0x01, Bytes(16, 0xA5)),          tlv(0x02, {'3'}),
            tlv(0x03, sim::ascii("3.00")),       tlv(0x04, sim::ascii("990300      ")),
            tlv(0x05, {0x20, 0x26, 0x01, 0x31}), tlv(0x06, {0x20, 0x36, 0x01, 0x30}),
            tlv(0x07, sim::ascii("Q00000017")),  tlv(0x08, {0x01})};
}

std::vector<Bytes> holderItems()
{
    return {tlv(0x08, sim::ascii("990300200001010019")),
            tlv(0x09, {0xC1, 0xD6, 0xCF, 0xFE, 0xD6, 0xDB, ' ', ' '}),
            tlv(0x0A, sim::ascii("1")),
            tlv(0x0B, sim::ascii("01")),
            tlv(0x0C, {0xD4, 0xC6, 0xCF, 0xAA, 0x00, 0x00}),
            tlv(0x0D, {0x20, 0x00, 0x01, 0x01})};
}

const QStringList expectedFields{"A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5",
                                 "3",
                                 "3.00",
                                 "990300",
                                 "20260131",
                                 "20360130",
                                 "Q00000017",
                                 "990300200001010019",
                                 "林晓舟",
                                 "01",
                                 "男",
                                 "汉族",
                                 "云溪",
                                 "20000101",
                                 "第三代"};

QByteArrayList reads(int first, int last, const char *p2)
{
    QByteArrayList commands;
    for (int id = first; id <= last; ++id)
        commands << QByteArray("B2 ") + QByteArray::number(id, 16).rightJustified(2, '0').toUpper()
                        + ' ' + p2;
    return commands;
}

const QByteArray selectSsse = "A4 04 00";
const QByteArray selectEf = "A4 02 00";
const QByteArray selectMf = "A4 00 00";

} // namespace

Q_DECLARE_METATYPE(sim::CardFile)

class TestSsseLayout : public QObject
{
    Q_OBJECT

private slots:
    void eachLayoutIsReadWithoutShortIdentifiers_data()
    {
        QTest::addColumn<sim::CardFile>("mf");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QByteArrayList>("commands");

        QTest::newRow("card file under the MF, by identifier")
            << df(0x3F00, {},
                  {ef(0xEF05, cardItems()), df(0x1001, ssseName, {ef(0xEF06, holderItems())})})
            << qint64(device::Ok) << QString()
            << (QByteArrayList{selectSsse, selectEf, selectEf} + reads(8, 13, "00")
                + QByteArrayList{selectMf, selectEf} + reads(1, 8, "00"));
        QTest::newRow("both files in the application, by record number")
            << df(0x3F00, {},
                  {df(0x1001, ssseName,
                      {ef(0xEF05, cardItems(), true), ef(0xEF06, holderItems(), true)})})
            << qint64(device::Ok) << QString()
            << (QByteArrayList{selectSsse, selectEf, "B2 01 00"} + reads(1, 8, "04")
                + QByteArrayList{selectEf} + reads(1, 6, "04"));
        QTest::newRow("no application")
            << df(0x3F00, {}, {ef(0xEF05, cardItems())})
            << qint64(device::SocialSecurityMissingFile)
            << QStringLiteral("社保卡缺少所需文件：SSSE") << QByteArrayList{selectSsse};
        QTest::newRow("no holder file")
            << df(0x3F00, {}, {df(0x1001, ssseName, {ef(0xEF05, cardItems())})})
            << qint64(device::SocialSecurityMissingFile)
            << QStringLiteral("社保卡缺少所需文件：EF06")
            << (QByteArrayList{selectSsse, selectEf} + reads(1, 8, "00")
                + QByteArrayList{selectEf});
        QTest::newRow("card file nowhere")
            << df(0x3F00, {}, {df(0x1001, ssseName, {ef(0xEF06, holderItems())})})
            << qint64(device::SocialSecurityMissingFile)
            << QStringLiteral("社保卡缺少所需文件：EF05")
            << (QByteArrayList{selectSsse, selectEf, selectEf} + reads(8, 13, "00")
                + QByteArrayList{selectMf, selectEf});
    }

    void eachLayoutIsReadWithoutShortIdentifiers()
    {
        QFETCH(sim::CardFile, mf);
        QFETCH(qint64, code);
        QFETCH(QString, problem);
        QFETCH(QByteArrayList, commands);
        TreeCard card(mf);
        QStringList fields;
        QString why;
        QCOMPARE(qint64(device::readSocialSecurityCard(card, fields, why)), code);
        QCOMPARE(why, problem);
        QCOMPARE(card.commands, commands);
        QCOMPARE(fields, code == device::Ok ? expectedFields : QStringList());
    }

    void itemsAreDecodedAsTheCardHoldsThem_data()
    {
        using device::SocialSecurityForm;
        QTest::addColumn<int>("form");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("text: trailing blanks go, leading ones stay")
            << int(SocialSecurityForm::Text) << QByteArray("  3.00  ") << "  3.00";
        QTest::newRow("text: zero padding goes")
            << int(SocialSecurityForm::Text) << QByteArray("AB\0\0", 4) << "AB";
        QTest::newRow("BCD number padded with F")
            << int(SocialSecurityForm::Bcd) << QByteArray::fromHex("1234567F") << "1234567";
        QTest::newRow("number held as a byte")
            << int(SocialSecurityForm::Number) << QByteArray::fromHex("03") << "3";
    }

    void itemsAreDecodedAsTheCardHoldsThem()
    {
        QFETCH(int, form);
        QFETCH(QByteArray, value);
        QFETCH(QString, text);
        QCOMPARE(device::socialSecurityFieldText(device::SocialSecurityForm(form),
                                                 Bytes(value.begin(), value.end())),
                 text);
    }
};

QTEST_GUILESS_MAIN(TestSsseLayout)
#include "tst_ssselayout.moc"

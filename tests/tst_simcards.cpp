// The simulated reader's M1 card and magnetic stripe card: the card models on
// their own, their exports as the program sees them, and the two tabs driven
// end to end against the simulated reader.
#include "m1card.h"
#include "magstripe.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QtTest>

#include <cstring>

using namespace windowtest;

namespace {
using sim::M1Card;

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

const unsigned char *bytes(const QByteArray &array)
{
    return reinterpret_cast<const unsigned char *>(array.constData());
}

QByteArray factoryKey()
{
    return QByteArray(reinterpret_cast<const char *>(M1Card::factoryKey.data()), M1Card::keySize);
}

const QByteArray cardUid = hex("5A1FC327");

// Runs the command APDUs, separated by ";", on a freshly reset card and
// returns the last response in hexadecimal.
QByteArray lastResponse(sim::SimulatedCard &card, const QByteArray &commands)
{
    sim::Bytes response;
    for (const QByteArray &text : commands.split(';')) {
        const QByteArray command = QByteArray::fromHex(text);
        response = card.respond(bytes(command), static_cast<std::size_t>(command.size()));
    }
    return QByteArray(reinterpret_cast<const char *>(response.data()),
                      static_cast<int>(response.size()))
        .toHex()
        .toUpper();
}

QString factoryTrack(int track)
{
    return QString::fromStdString(sim::MagneticCard().track(track));
}

void openReader()
{
    QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0);
}
} // namespace

class TestSimCards : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindSimulator();
    }
    void cleanup()
    {
        pCloseDevice();
        QCOMPARE(takeWarnings(), QStringList());
    }

    // The card as a PC/SC contactless reader presents it: storage-card
    // commands in, response APDUs out, byte for byte.
    void m1CardAnswersStorageCardCommands_data()
    {
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<QByteArray>("response");
        const QByteArray load = "FF82000006" + factoryKey().toHex().toUpper();
        const QByteArray open0 = load + ";FF860000050100006000";
        QTest::newRow("UID") << QByteArray("FFCA000000") << QByteArray("5A1FC3279000");
        QTest::newRow("UID, Le 4") << QByteArray("FFCA000004") << QByteArray("5A1FC3279000");
        QTest::newRow("UID, Le 2") << QByteArray("FFCA000002") << QByteArray("6C04");
        QTest::newRow("ATS") << QByteArray("FFCA010000") << QByteArray("6A81");
        QTest::newRow("load key") << load << QByteArray("9000");
        QTest::newRow("load into slot 2")
            << QByteArray("FF82000206010203040506") << QByteArray("6A86");
        QTest::newRow("load 5 bytes") << QByteArray("FF820000050102030405") << QByteArray("6700");
        QTest::newRow("key A") << open0 << QByteArray("9000");
        QTest::newRow("key B, sector 15") << load + ";FF8600000501003C6100" << QByteArray("9000");
        QTest::newRow("wrong key")
            << QByteArray("FF82000006010203040506;FF860000050100006000") << QByteArray("6300");
        QTest::newRow("empty key slot") << QByteArray("FF860000050100006001") << QByteArray("6986");
        QTest::newRow("key type 62") << load + ";FF860000050100006200" << QByteArray("6A80");
        QTest::newRow("sector 16") << load + ";FF860000050100406000" << QByteArray("6A82");
        QTest::newRow("read, not authenticated") << QByteArray("FFB0000110") << QByteArray("6982");
        QTest::newRow("read block 0")
            << open0 + ";FFB0000010" << QByteArray("5A1FC327A108040053494D2D4D3120269000");
        QTest::newRow("read trailer, key A hidden")
            << open0 + ";FFB0000310"
            << "000000000000FF078069" + factoryKey().toHex().toUpper() + "9000";
        QTest::newRow("read other sector") << open0 + ";FFB0000410" << QByteArray("6982");
        QTest::newRow("read block 64") << open0 + ";FFB0004010" << QByteArray("6A82");
        QTest::newRow("read, Le 0") << open0 + ";FFB0000100" << QByteArray("6700");
        QTest::newRow("write, read back")
            << open0 + ";FFD600011000112233445566778899AABBCCDDEEFF;FFB0000110"
            << QByteArray("00112233445566778899AABBCCDDEEFF9000");
        QTest::newRow("write block 0")
            << open0 + ";FFD600001000112233445566778899AABBCCDDEEFF" << QByteArray("6986");
        QTest::newRow("write inconsistent access bits")
            << open0 + ";FFD6000310000102030405060708090A0B0C0D0E0F" << QByteArray("6A80");
        QTest::newRow("write 15 bytes")
            << open0 + ";FFD600010F00112233445566778899AABBCCDDEE" << QByteArray("6700");
        QTest::newRow("write other sector")
            << open0 + ";FFD600041000112233445566778899AABBCCDDEEFF" << QByteArray("6982");
        QTest::newRow("failed authentication ends the last")
            << open0 + ";FF82000106010203040506;FF860000050100006001;FFB0000110"
            << QByteArray("6982");
        QTest::newRow("new key A replaces the old")
            << open0 + ";FFD6000310112233445566FF078069" + factoryKey().toHex().toUpper()
                   + ";FF82000106112233445566;FF860000050100006001"
            << QByteArray("9000");
        QTest::newRow("old key A refused after the change")
            << open0 + ";FFD6000310112233445566FF078069" + factoryKey().toHex().toUpper()
                   + ";FF860000050100006000"
            << QByteArray("6300");
        QTest::newRow("class 00") << QByteArray("00B0000110") << QByteArray("6E00");
        QTest::newRow("unknown instruction") << QByteArray("FF00000000") << QByteArray("6D00");
        QTest::newRow("one byte") << QByteArray("FF") << QByteArray("6700");
    }

    void m1CardAnswersStorageCardCommands()
    {
        QFETCH(QByteArray, commands);
        QFETCH(QByteArray, response);
        const std::unique_ptr<sim::SimulatedCard> card = sim::makeCard(sim::CardKind::M1);
        QCOMPARE(card->answerToReset(),
                 sim::Bytes({0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
                             0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x6A}));
        card->reset();
        QCOMPARE(lastResponse(*card, commands), response);
    }

    void m1ResetEndsTheAuthenticationButKeepsTheData()
    {
        const std::unique_ptr<sim::SimulatedCard> card = sim::makeCard(sim::CardKind::M1);
        const QByteArray open1 = "FF82000006" + factoryKey().toHex() + ";FF860000050100046000";
        lastResponse(*card, open1 + ";FFD600051000112233445566778899AABBCCDDEEFF");
        card->reset();
        QCOMPARE(lastResponse(*card, "FFB0000510"), QByteArray("6982"));
        card->powerOff();
        card->reset();
        QCOMPARE(lastResponse(*card, open1 + ";FFB0000510"),
                 QByteArray("00112233445566778899AABBCCDDEEFF9000"));
    }

    void m1AccessBitsMustMatchTheirInvertedCopies()
    {
        M1Card::Block trailer{};
        std::memcpy(trailer.data() + 6, hex("FF0780").constData(), 3);
        QVERIFY(sim::accessBitsConsistent(trailer));
        trailer[8] = 0x81;
        QVERIFY(!sim::accessBitsConsistent(trailer));
    }

    // The M1 tab's operations keep the codes they had before the card moved
    // behind storage-card commands.
    void m1ExportsMapTheCardsAnswers_data()
    {
        QTest::addColumn<int>("keyType");
        QTest::addColumn<int>("sector");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("uid");
        QTest::addColumn<int>("block");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<qint64>("authenticated");
        QTest::addColumn<qint64>("read");
        QTest::addColumn<qint64>("write");
        const QByteArray key = factoryKey();
        const QByteArray data = hex("00112233445566778899AABBCCDDEEFF");
        const QByteArray badBits = hex("000102030405060708090A0B0C0D0E0F");
        QTest::newRow("key A") << int('A') << 0 << key << cardUid << 1 << data << qint64(device::Ok)
                               << qint64(device::Ok) << qint64(device::Ok);
        QTest::newRow("key b, sector 15")
            << int('b') << 15 << key << cardUid << 61 << data << qint64(device::Ok)
            << qint64(device::Ok) << qint64(device::Ok);
        QTest::newRow("key type C")
            << int('C') << 0 << key << cardUid << 1 << data << qint64(device::M1BadKeyType)
            << qint64(device::M1NotAuthenticated) << qint64(device::M1NotAuthenticated);
        QTest::newRow("sector 16")
            << int('A') << 16 << key << cardUid << 64 << data << qint64(device::M1BadSector)
            << qint64(device::M1BadBlock) << qint64(device::M1BadBlock);
        QTest::newRow("sector 40")
            << int('A') << 40 << key << cardUid << 255 << data << qint64(device::M1BadSector)
            << qint64(device::M1BadBlock) << qint64(device::M1BadBlock);
        QTest::newRow("wrong UID")
            << int('A') << 1 << key << hex("5A1FC328") << 4 << data << qint64(device::M1WrongUid)
            << qint64(device::M1NotAuthenticated) << qint64(device::M1NotAuthenticated);
        QTest::newRow("wrong key")
            << int('B') << 1 << hex("3C7E19B4D2A7") << cardUid << 4 << data
            << qint64(device::M1WrongKey) << qint64(device::M1NotAuthenticated)
            << qint64(device::M1NotAuthenticated);
        QTest::newRow("other sector")
            << int('A') << 0 << key << cardUid << 4 << data << qint64(device::Ok)
            << qint64(device::M1NotAuthenticated) << qint64(device::M1NotAuthenticated);
        QTest::newRow("block 0") << int('A') << 0 << key << cardUid << 0 << data
                                 << qint64(device::Ok) << qint64(device::Ok)
                                 << qint64(device::M1ReadOnlyBlock);
        QTest::newRow("15 bytes") << int('A') << 0 << key << cardUid << 1 << data.left(15)
                                  << qint64(device::Ok) << qint64(device::Ok)
                                  << qint64(device::M1BadLength);
        QTest::newRow("inconsistent access bits")
            << int('A') << 0 << key << cardUid << 3 << badBits << qint64(device::Ok)
            << qint64(device::Ok) << qint64(device::M1BadAccessBits);
    }

    void m1ExportsMapTheCardsAnswers()
    {
        QFETCH(int, keyType);
        QFETCH(int, sector);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, uid);
        QFETCH(int, block);
        QFETCH(QByteArray, written);
        QFETCH(qint64, authenticated);
        QFETCH(qint64, read);
        QFETCH(qint64, write);
        openReader();
        unsigned char found[16] = {};
        int64_t length = 0;
        QCOMPARE(pM1FindCard(found, &length), qint64(device::Ok));
        QCOMPARE(pM1Authentication(static_cast<unsigned char>(keyType),
                                   static_cast<unsigned char>(sector), bytes(key), bytes(uid)),
                 authenticated);
        unsigned char original[32] = {};
        QCOMPARE(pM1ReadBlock(static_cast<unsigned char>(block), original, &length), read);
        QCOMPARE(pM1WriteBlock(static_cast<unsigned char>(block), written.size(), bytes(written)),
                 write);
        if (write == device::Ok)
            QCOMPARE(pM1WriteBlock(static_cast<unsigned char>(block), 16, original),
                     qint64(device::Ok));
    }

    void m1ExportsFindTheCardAndKeepWhatIsWritten()
    {
        openReader();
        unsigned char uid[16] = {};
        int64_t uidLength = 0;
        QCOMPARE(pM1FindCard(uid, &uidLength), qint64(device::Ok));
        QCOMPARE(uidLength, qint64(4));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(uid), 4), cardUid);

        const QByteArray key = factoryKey();
        QCOMPARE(pM1Authentication('A', 0, bytes(key), uid), qint64(device::Ok));
        unsigned char original[32] = {};
        int64_t length = 0;
        QCOMPARE(pM1ReadBlock(2, original, &length), qint64(device::Ok));
        QCOMPARE(length, qint64(16));
        const QByteArray pattern = hex("A5A5A5A5000000000000000000005A5A");
        QCOMPARE(pM1WriteBlock(2, 16, bytes(pattern)), qint64(device::Ok));

        // Closing drops the authentication; the card keeps its data.
        QCOMPARE(pCloseDevice(), qint64(device::Ok));
        openReader();
        unsigned char data[32] = {};
        QCOMPARE(pM1ReadBlock(2, data, &length), qint64(device::M1NotAuthenticated));
        QCOMPARE(pM1FindCard(uid, &uidLength), qint64(device::Ok));
        QCOMPARE(pM1Authentication('B', 0, bytes(key), uid), qint64(device::Ok));
        QCOMPARE(pM1ReadBlock(2, data, &length), qint64(device::Ok));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(data), 16), pattern);

        QCOMPARE(pM1WriteBlock(2, 16, original), qint64(device::Ok));
    }

    void magSelectionNamesTracksByDigit_data()
    {
        QTest::addColumn<int>("selection");
        QTest::addColumn<unsigned>("tracks");
        QTest::newRow("1") << 1 << 1u;
        QTest::newRow("2") << 2 << 2u;
        QTest::newRow("3") << 3 << 4u;
        QTest::newRow("12") << 12 << 3u;
        QTest::newRow("13") << 13 << 5u;
        QTest::newRow("23") << 23 << 6u;
        QTest::newRow("123") << 123 << 7u;
        QTest::newRow("any order") << 231 << 7u;
        QTest::newRow("repeated") << 11 << 1u;
        QTest::newRow("none") << 0 << 0u;
        QTest::newRow("track 4") << 4 << 0u;
        QTest::newRow("a zero digit") << 10 << 0u;
        QTest::newRow("one unknown digit") << 14 << 0u;
        QTest::newRow("321 as a byte") << 65 << 0u;
        QTest::newRow("255") << 255 << 0u;
    }

    void magSelectionNamesTracksByDigit()
    {
        QFETCH(int, selection);
        QFETCH(unsigned, tracks);
        QCOMPARE(sim::magTracksSelected(static_cast<unsigned char>(selection)), tracks);
    }

    void magTracksAreChecked_data()
    {
        QTest::addColumn<int>("track");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("code");
        QTest::newRow("1 alphanumeric")
            << 1 << QByteArray("B6999^TESTER/CARD^2812 #1") << int(device::Ok);
        QTest::newRow("1 lower case")
            << 1 << QByteArray("B6999^tester") << int(device::MagBadCharacter);
        QTest::newRow("1 start sentinel")
            << 1 << QByteArray("%B6999") << int(device::MagBadCharacter);
        QTest::newRow("1 end sentinel")
            << 1 << QByteArray("B6999?") << int(device::MagBadCharacter);
        QTest::newRow("1 beyond ASCII") << 1 << QByteArray("B测试") << int(device::MagBadCharacter);
        QTest::newRow("1 full") << 1 << QByteArray(76, 'A') << int(device::Ok);
        QTest::newRow("1 too long") << 1 << QByteArray(77, 'A') << int(device::MagTooLong);
        QTest::newRow("2 numeric")
            << 2 << QByteArray("6999001234567897=2812201") << int(device::Ok);
        QTest::newRow("2 empty") << 2 << QByteArray() << int(device::Ok);
        QTest::newRow("2 letter") << 2 << QByteArray("6999D2812") << int(device::MagBadCharacter);
        QTest::newRow("2 sentinel")
            << 2 << QByteArray(";6999=2812") << int(device::MagBadCharacter);
        QTest::newRow("2 full") << 2 << QByteArray(37, '7') << int(device::Ok);
        QTest::newRow("2 too long") << 2 << QByteArray(38, '7') << int(device::MagTooLong);
        QTest::newRow("3 full") << 3 << QByteArray(104, '=') << int(device::Ok);
        QTest::newRow("3 too long") << 3 << QByteArray(105, '0') << int(device::MagTooLong);
        QTest::newRow("3 space") << 3 << QByteArray("99 1") << int(device::MagBadCharacter);
    }

    void magTracksAreChecked()
    {
        QFETCH(int, track);
        QFETCH(QByteArray, text);
        QFETCH(int, code);
        QCOMPARE(sim::checkMagTrack(track, text.constData()), static_cast<device::Code>(code));
    }

    void magEncodedTracksAreWellFormed()
    {
        const sim::MagneticCard card;
        for (int track = 1; track <= sim::magTrackCount; ++track) {
            QVERIFY(!card.track(track).empty());
            QCOMPARE(sim::checkMagTrack(track, card.track(track).c_str()), device::Ok);
        }
        // Tracks 1 and 2 carry the same card number.
        const QString one = QString::fromStdString(card.track(1));
        const QString two = QString::fromStdString(card.track(2));
        QCOMPARE(one.mid(1, one.indexOf('^') - 1), two.left(two.indexOf('=')));
    }

    void magReadFillsTheSelectedBuffersOnly()
    {
        const sim::MagneticCard card;
        char one[512], two[512], three[512];
        std::strcpy(one, "untouched");
        std::strcpy(two, "untouched");
        std::strcpy(three, "untouched");
        QCOMPARE(card.read(23, one, two, three), device::Ok);
        QCOMPARE(QByteArray(one), QByteArray("untouched"));
        QCOMPARE(QByteArray(two), QByteArray(card.track(2).c_str()));
        QCOMPARE(QByteArray(three), QByteArray(card.track(3).c_str()));

        QCOMPARE(card.read(2, nullptr, two, nullptr), device::Ok);
        QCOMPARE(card.read(12, nullptr, two, three), device::NullArgument);
        QCOMPARE(card.read(4, one, two, three), device::MagNoTrack);
    }

    void magWriteStoresTheSelectedTracksOrNothing()
    {
        sim::MagneticCard card;
        const std::string two = card.track(2);
        QCOMPARE(card.write(13, "B1^ONE^2812", "not looked at", "1=3"), device::Ok);
        QCOMPARE(card.track(1), std::string("B1^ONE^2812"));
        QCOMPARE(card.track(2), two);
        QCOMPARE(card.track(3), std::string("1=3"));

        // One bad track stops the whole write.
        QCOMPARE(card.write(123, "B2^TWO^2812", "2=2", "bad"), device::MagBadCharacter);
        QCOMPARE(card.write(21, "B2^TWO^2812", nullptr, "3=3"), device::NullArgument);
        QCOMPARE(card.write(0, "B2^TWO^2812", "2=2", "3=3"), device::MagNoTrack);
        QCOMPARE(card.track(1), std::string("B1^ONE^2812"));
        QCOMPARE(card.track(2), two);

        QCOMPARE(card.write(2, nullptr, "", nullptr), device::Ok);
        QCOMPARE(card.track(2), std::string());
    }

    void magExportsCheckTheRequestBeforeWaiting()
    {
        openReader();
        char one[512] = {}, two[512] = {}, three[512] = {};
        QCOMPARE(pMagRead(0, one, two, three, 10), qint64(device::MagNoTrack));
        QCOMPARE(pMagRead(65, one, two, three, 10), qint64(device::MagNoTrack));
        QCOMPARE(pMagRead(123, one, two, three, 0), qint64(device::Timeout));
        QCOMPARE(pMagWrite(123, "B1", "not numeric", "", 0), qint64(device::MagBadCharacter));
        QCOMPARE(pMagWrite(123, "B1", "1=1", "", 0), qint64(device::Timeout));
        QCOMPARE(pMagWrite(4, "B1", "1=1", "", 10), qint64(device::MagNoTrack));

        QCOMPARE(pMagRead(123, one, two, three, 10), qint64(device::Ok));
        QCOMPARE(QString::fromUtf8(one), factoryTrack(1));
        QCOMPARE(QString::fromUtf8(two), factoryTrack(2));
        QCOMPARE(QString::fromUtf8(three), factoryTrack(3));
    }

    void m1TabWorksWithTheDefaults()
    {
        openReader();
        MainWindow window;
        click(&window, "pushButton_12");
        QCOMPARE(status(&window), QStringLiteral("M1卡寻卡成功"));
        QCOMPARE(text(&window, "lineEdit_UID"), QString::fromLatin1(cardUid.toHex().toUpper()));
        click(&window, "pushButton_14");
        QCOMPARE(status(&window), QStringLiteral("M1卡读块数据失败，错误代码：-55"));
        click(&window, "pushButton_13");
        QCOMPARE(status(&window), QStringLiteral("M1卡密钥认证成功"));
        click(&window, "pushButton_14");
        QCOMPARE(status(&window), QStringLiteral("M1卡读块数据成功"));
        const QString original = text(&window, "lineEdit_BlockData");
        QCOMPARE(original.size(), 32);

        click(&window, "pushButton_15");
        QCOMPARE(status(&window), QStringLiteral("M1卡写块数据成功"));
        click(&window, "pushButton_14");
        QCOMPARE(text(&window, "lineEdit_BlockData"),
                 QStringLiteral("000102030405060708090A0B0C0D0E0F"));

        setText(&window, "lineEdit_WBlockData", original);
        click(&window, "pushButton_15");
        QCOMPARE(status(&window), QStringLiteral("M1卡写块数据成功"));
        setText(&window, "lineEdit_Key", "000000000000");
        click(&window, "pushButton_13");
        QCOMPARE(status(&window), QStringLiteral("M1卡密钥认证失败，错误代码：-54"));
    }

    // Empty fields reach the reader as empty texts: a null pointer for a
    // selected track would be refused.
    void magTabWritesEmptyTracksAndReadsThemBack()
    {
        openReader();
        MainWindow window;
        click(&window, "pushButton_16");
        QCOMPARE(status(&window), QStringLiteral("读取磁条卡成功"));
        const QStringList factory{factoryTrack(1), factoryTrack(2), factoryTrack(3)};
        QCOMPARE(text(&window, "lineEdit_MagTrack1"), factory[0]);
        QCOMPARE(text(&window, "lineEdit_MagTrack2"), factory[1]);
        QCOMPARE(text(&window, "lineEdit_MagTrack3"), factory[2]);

        setText(&window, "lineEdit_MagTrack1", "");
        setText(&window, "lineEdit_MagTrack2", "");
        setText(&window, "lineEdit_MagTrack3", "");
        click(&window, "pushButton_17");
        QCOMPARE(status(&window), QStringLiteral("写入磁条卡成功"));

        setText(&window, "lineEdit_MagTrack1", factory[0]);
        click(&window, "pushButton_16");
        QCOMPARE(text(&window, "lineEdit_MagTrack1"), QString());
        QCOMPARE(text(&window, "lineEdit_MagTrack3"), QString());

        setText(&window, "lineEdit_MagTrack1", factory[0]);
        setText(&window, "lineEdit_MagTrack2", factory[1]);
        setText(&window, "lineEdit_MagTrack3", factory[2]);
        click(&window, "pushButton_17");
        QCOMPARE(status(&window), QStringLiteral("写入磁条卡成功"));

        setText(&window, "lineEdit_MagTrack2", "not numeric");
        click(&window, "pushButton_17");
        QCOMPARE(status(&window), QStringLiteral("写入磁条卡失败，错误代码：-61"));
    }
};

QTEST_MAIN(TestSimCards)
#include "tst_simcards.moc"

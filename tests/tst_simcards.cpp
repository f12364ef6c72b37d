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

QByteArray uidOf(const M1Card &card)
{
    return QByteArray(reinterpret_cast<const char *>(card.uid().data()), M1Card::uidSize);
}

// The card's answer to reading a block, or its code as text when refused.
QByteArray readBlock(const M1Card &card, int block)
{
    unsigned char data[M1Card::blockSize];
    const sim::Code result = card.readBlock(static_cast<unsigned char>(block), data);
    if (result != sim::Ok)
        return QByteArray::number(static_cast<qint64>(result));
    return QByteArray(reinterpret_cast<const char *>(data), M1Card::blockSize);
}

sim::Code authenticate(M1Card &card, int sector, const QByteArray &key, char keyType = 'A')
{
    return card.authenticate(static_cast<unsigned char>(keyType),
                             static_cast<unsigned char>(sector), bytes(key), card.uid().data());
}

QByteArray refused(sim::Code code)
{
    return QByteArray::number(static_cast<qint64>(code));
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

    void m1BlockZeroHoldsTheUidAndIsReadOnly()
    {
        M1Card card;
        QCOMPARE(authenticate(card, 0, factoryKey()), sim::Ok);
        const QByteArray block = readBlock(card, 0);
        QCOMPARE(block.left(4), uidOf(card));
        QCOMPARE(static_cast<unsigned char>(block[4]),
                 static_cast<unsigned char>(block[0] ^ block[1] ^ block[2] ^ block[3]));
        const QByteArray data(M1Card::blockSize, '\x5A');
        QCOMPARE(card.writeBlock(0, M1Card::blockSize, bytes(data)), sim::M1ReadOnlyBlock);
        QCOMPARE(readBlock(card, 0), block);
    }

    void m1AuthenticationIsGated_data()
    {
        QTest::addColumn<int>("keyType");
        QTest::addColumn<int>("sector");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<bool>("rightUid");
        QTest::addColumn<int>("code");
        const QByteArray key = factoryKey();
        QTest::newRow("key A") << int('A') << 0 << key << true << int(sim::Ok);
        QTest::newRow("key B, last sector") << int('B') << 15 << key << true << int(sim::Ok);
        QTest::newRow("lower-case a") << int('a') << 0 << key << true << int(sim::M1BadKeyType);
        QTest::newRow("no key type") << 0 << 0 << key << true << int(sim::M1BadKeyType);
        QTest::newRow("sector 16") << int('A') << 16 << key << true << int(sim::M1BadSector);
        QTest::newRow("sector 255") << int('B') << 255 << key << true << int(sim::M1BadSector);
        QTest::newRow("wrong UID") << int('A') << 1 << key << false << int(sim::M1WrongUid);
        QTest::newRow("wrong key")
            << int('A') << 1 << hex("3C7E19B4D2A7") << true << int(sim::M1WrongKey);
        QTest::newRow("no key") << int('B') << 1 << hex("000000000000") << true
                                << int(sim::M1WrongKey);
    }

    void m1AuthenticationIsGated()
    {
        QFETCH(int, keyType);
        QFETCH(int, sector);
        QFETCH(QByteArray, key);
        QFETCH(bool, rightUid);
        QFETCH(int, code);
        M1Card card;
        const QByteArray uid = rightUid ? uidOf(card) : hex("5A1FC326");
        QCOMPARE(card.authenticate(static_cast<unsigned char>(keyType),
                                   static_cast<unsigned char>(sector), bytes(key), bytes(uid)),
                 static_cast<sim::Code>(code));
        // The first data block of the sector opens only after a successful one.
        const int block = (sector % M1Card::sectorCount) * M1Card::blocksPerSector + 1;
        const bool opened = code == sim::Ok;
        QCOMPARE(readBlock(card, block).size() == M1Card::blockSize, opened);
        if (!opened)
            QCOMPARE(readBlock(card, block), refused(sim::M1NotAuthenticated));
    }

    void m1OneSectorIsOpenAtATime()
    {
        M1Card card;
        QCOMPARE(readBlock(card, 2), refused(sim::M1NotAuthenticated));
        QCOMPARE(authenticate(card, 0, factoryKey()), sim::Ok);
        QCOMPARE(readBlock(card, 2), QByteArray(M1Card::blockSize, '\0'));
        QCOMPARE(readBlock(card, 4), refused(sim::M1NotAuthenticated));

        QCOMPARE(authenticate(card, 1, factoryKey(), 'B'), sim::Ok);
        QCOMPARE(readBlock(card, 4).size(), M1Card::blockSize);
        QCOMPARE(readBlock(card, 2), refused(sim::M1NotAuthenticated));

        // A failed authentication ends the one before, as does finding the card.
        QCOMPARE(authenticate(card, 1, hex("010203040506")), sim::M1WrongKey);
        QCOMPARE(readBlock(card, 4), refused(sim::M1NotAuthenticated));
        QCOMPARE(authenticate(card, 1, factoryKey()), sim::Ok);
        card.select();
        QCOMPARE(readBlock(card, 4), refused(sim::M1NotAuthenticated));
    }

    void m1TrailersHoldTheKeys()
    {
        M1Card card;
        QCOMPARE(authenticate(card, 5, factoryKey()), sim::Ok);
        // Key A never reads back.
        QCOMPARE(readBlock(card, 23), hex("000000000000") + hex("FF078069") + factoryKey());

        const QByteArray newTrailer = hex("112233445566") + hex("FF078069") + factoryKey();
        QCOMPARE(card.writeBlock(23, M1Card::blockSize, bytes(newTrailer)), sim::Ok);
        QCOMPARE(authenticate(card, 5, factoryKey()), sim::M1WrongKey);
        QCOMPARE(authenticate(card, 5, hex("112233445566")), sim::Ok);
        QCOMPARE(authenticate(card, 5, factoryKey(), 'B'), sim::Ok);
        // Other sectors keep their own trailers.
        QCOMPARE(authenticate(card, 6, factoryKey()), sim::Ok);
    }

    // Bits that disagree with their inverted copies would lock a real sector
    // for good; here the write is refused and the trailer stays as it was.
    void m1TrailerWithInconsistentAccessBitsIsRefused()
    {
        M1Card card;
        QCOMPARE(authenticate(card, 0, factoryKey()), sim::Ok);
        const QByteArray pattern = hex("000102030405060708090A0B0C0D0E0F");
        QCOMPARE(card.writeBlock(3, M1Card::blockSize, bytes(pattern)), sim::M1BadAccessBits);
        QCOMPARE(authenticate(card, 0, factoryKey()), sim::Ok);
        QCOMPARE(readBlock(card, 3), hex("000000000000") + hex("FF078069") + factoryKey());

        M1Card::Block trailer{};
        std::memcpy(trailer.data() + 6, hex("FF0780").constData(), 3);
        QVERIFY(sim::accessBitsConsistent(trailer));
        trailer[8] = 0x81;
        QVERIFY(!sim::accessBitsConsistent(trailer));
    }

    void m1BlockWritesAreChecked_data()
    {
        QTest::addColumn<int>("block");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<bool>("withData");
        QTest::addColumn<int>("code");
        QTest::newRow("data block") << 1 << qint64(16) << true << int(sim::Ok);
        QTest::newRow("block 64") << 64 << qint64(16) << true << int(sim::M1BadBlock);
        QTest::newRow("block 255") << 255 << qint64(16) << true << int(sim::M1BadBlock);
        QTest::newRow("other sector") << 4 << qint64(16) << true << int(sim::M1NotAuthenticated);
        QTest::newRow("15 bytes") << 1 << qint64(15) << true << int(sim::M1BadLength);
        QTest::newRow("17 bytes") << 1 << qint64(17) << true << int(sim::M1BadLength);
        QTest::newRow("negative length") << 1 << qint64(-16) << true << int(sim::M1BadLength);
        QTest::newRow("no data") << 1 << qint64(16) << false << int(sim::NullArgument);
    }

    void m1BlockWritesAreChecked()
    {
        QFETCH(int, block);
        QFETCH(qint64, length);
        QFETCH(bool, withData);
        QFETCH(int, code);
        M1Card card;
        QCOMPARE(authenticate(card, 0, factoryKey()), sim::Ok);
        const QByteArray data = hex("00112233445566778899AABBCCDDEEFF");
        QCOMPARE(card.writeBlock(static_cast<unsigned char>(block), length,
                                 withData ? bytes(data) : nullptr),
                 static_cast<sim::Code>(code));
        QCOMPARE(readBlock(card, 1), code == sim::Ok ? data : QByteArray(M1Card::blockSize, '\0'));
    }

    void m1ExportsFindTheCardAndKeepWhatIsWritten()
    {
        openReader();
        unsigned char uid[16] = {};
        int64_t uidLength = 0;
        QCOMPARE(pM1FindCard(uid, &uidLength), qint64(sim::Ok));
        QCOMPARE(uidLength, qint64(M1Card::uidSize));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(uid), 4), uidOf(M1Card()));

        const QByteArray key = factoryKey();
        QCOMPARE(pM1Authentication('A', 0, bytes(key), uid), qint64(sim::Ok));
        unsigned char original[32] = {};
        int64_t length = 0;
        QCOMPARE(pM1ReadBlock(2, original, &length), qint64(sim::Ok));
        QCOMPARE(length, qint64(M1Card::blockSize));
        const QByteArray pattern = hex("A5A5A5A5000000000000000000005A5A");
        QCOMPARE(pM1WriteBlock(2, 16, bytes(pattern)), qint64(sim::Ok));

        // Closing drops the authentication; the card keeps its data.
        QCOMPARE(pCloseDevice(), qint64(sim::Ok));
        openReader();
        unsigned char data[32] = {};
        QCOMPARE(pM1ReadBlock(2, data, &length), qint64(sim::M1NotAuthenticated));
        QCOMPARE(pM1FindCard(uid, &uidLength), qint64(sim::Ok));
        QCOMPARE(pM1Authentication('B', 0, bytes(key), uid), qint64(sim::Ok));
        QCOMPARE(pM1ReadBlock(2, data, &length), qint64(sim::Ok));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(data), 16), pattern);

        QCOMPARE(pM1WriteBlock(2, 16, original), qint64(sim::Ok));
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
            << 1 << QByteArray("B6999^TESTER/CARD^2812 #1") << int(sim::Ok);
        QTest::newRow("1 lower case")
            << 1 << QByteArray("B6999^tester") << int(sim::MagBadCharacter);
        QTest::newRow("1 start sentinel") << 1 << QByteArray("%B6999") << int(sim::MagBadCharacter);
        QTest::newRow("1 end sentinel") << 1 << QByteArray("B6999?") << int(sim::MagBadCharacter);
        QTest::newRow("1 beyond ASCII") << 1 << QByteArray("B测试") << int(sim::MagBadCharacter);
        QTest::newRow("1 full") << 1 << QByteArray(76, 'A') << int(sim::Ok);
        QTest::newRow("1 too long") << 1 << QByteArray(77, 'A') << int(sim::MagTooLong);
        QTest::newRow("2 numeric") << 2 << QByteArray("6999001234567897=2812201") << int(sim::Ok);
        QTest::newRow("2 empty") << 2 << QByteArray() << int(sim::Ok);
        QTest::newRow("2 letter") << 2 << QByteArray("6999D2812") << int(sim::MagBadCharacter);
        QTest::newRow("2 sentinel") << 2 << QByteArray(";6999=2812") << int(sim::MagBadCharacter);
        QTest::newRow("2 full") << 2 << QByteArray(37, '7') << int(sim::Ok);
        QTest::newRow("2 too long") << 2 << QByteArray(38, '7') << int(sim::MagTooLong);
        QTest::newRow("3 full") << 3 << QByteArray(104, '=') << int(sim::Ok);
        QTest::newRow("3 too long") << 3 << QByteArray(105, '0') << int(sim::MagTooLong);
        QTest::newRow("3 space") << 3 << QByteArray("99 1") << int(sim::MagBadCharacter);
    }

    void magTracksAreChecked()
    {
        QFETCH(int, track);
        QFETCH(QByteArray, text);
        QFETCH(int, code);
        QCOMPARE(sim::checkMagTrack(track, text.constData()), static_cast<sim::Code>(code));
    }

    void magEncodedTracksAreWellFormed()
    {
        const sim::MagneticCard card;
        for (int track = 1; track <= sim::magTrackCount; ++track) {
            QVERIFY(!card.track(track).empty());
            QCOMPARE(sim::checkMagTrack(track, card.track(track).c_str()), sim::Ok);
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
        QCOMPARE(card.read(23, one, two, three), sim::Ok);
        QCOMPARE(QByteArray(one), QByteArray("untouched"));
        QCOMPARE(QByteArray(two), QByteArray(card.track(2).c_str()));
        QCOMPARE(QByteArray(three), QByteArray(card.track(3).c_str()));

        QCOMPARE(card.read(2, nullptr, two, nullptr), sim::Ok);
        QCOMPARE(card.read(12, nullptr, two, three), sim::NullArgument);
        QCOMPARE(card.read(4, one, two, three), sim::MagNoTrack);
    }

    void magWriteStoresTheSelectedTracksOrNothing()
    {
        sim::MagneticCard card;
        const std::string two = card.track(2);
        QCOMPARE(card.write(13, "B1^ONE^2812", "not looked at", "1=3"), sim::Ok);
        QCOMPARE(card.track(1), std::string("B1^ONE^2812"));
        QCOMPARE(card.track(2), two);
        QCOMPARE(card.track(3), std::string("1=3"));

        // One bad track stops the whole write.
        QCOMPARE(card.write(123, "B2^TWO^2812", "2=2", "bad"), sim::MagBadCharacter);
        QCOMPARE(card.write(21, "B2^TWO^2812", nullptr, "3=3"), sim::NullArgument);
        QCOMPARE(card.write(0, "B2^TWO^2812", "2=2", "3=3"), sim::MagNoTrack);
        QCOMPARE(card.track(1), std::string("B1^ONE^2812"));
        QCOMPARE(card.track(2), two);

        QCOMPARE(card.write(2, nullptr, "", nullptr), sim::Ok);
        QCOMPARE(card.track(2), std::string());
    }

    void magExportsCheckTheRequestBeforeWaiting()
    {
        openReader();
        char one[512] = {}, two[512] = {}, three[512] = {};
        QCOMPARE(pMagRead(0, one, two, three, 10), qint64(sim::MagNoTrack));
        QCOMPARE(pMagRead(65, one, two, three, 10), qint64(sim::MagNoTrack));
        QCOMPARE(pMagRead(123, one, two, three, 0), qint64(sim::Timeout));
        QCOMPARE(pMagWrite(123, "B1", "not numeric", "", 0), qint64(sim::MagBadCharacter));
        QCOMPARE(pMagWrite(123, "B1", "1=1", "", 0), qint64(sim::Timeout));
        QCOMPARE(pMagWrite(4, "B1", "1=1", "", 10), qint64(sim::MagNoTrack));

        QCOMPARE(pMagRead(123, one, two, three, 10), qint64(sim::Ok));
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
        QCOMPARE(text(&window, "lineEdit_UID"),
                 QString::fromLatin1(uidOf(M1Card()).toHex().toUpper()));
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

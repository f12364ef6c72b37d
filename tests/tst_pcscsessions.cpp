// The device library against a real pcscd with a third-generation social
// security card in "Virtual PCD 00 00" and the M1 card in "Virtual PCD 00 01":
// the new card layout, a second PC/SC client that keeps sending commands
// while an operation runs, resets by another client, and the second reader
// as the contactless interface of a dual-interface device.
#include "gb18030.h"
#include "m1card.h"
#include "operations.h"
#include "pcscreader.h"
#include "simulatedcard.h"
#include "slots.h"

#include <QtTest>

#include <winscard.h>

#include <atomic>
#include <thread>

namespace {

const char *const contactReader = "Virtual PCD 00 00";
const char *const fieldReader = "Virtual PCD 00 01";
const char *const dualReaders = "contactless=Virtual PCD 00 01";
const unsigned char m1Uid[] = {0x5A, 0x1F, 0xC3, 0x27};

// Another PC/SC client: its own context and connection to a reader, as a
// second program on the desktop has.
class OtherProgram
{
public:
    explicit OtherProgram(const char *reader)
    {
        SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_context);
        m_connected = SCardConnect(m_context, reader, SCARD_SHARE_SHARED,
                                   SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &m_card, &m_protocol)
                      == SCARD_S_SUCCESS;
    }
    ~OtherProgram()
    {
        stop();
        if (m_connected)
            SCardDisconnect(m_card, SCARD_LEAVE_CARD);
        SCardReleaseContext(m_context);
    }
    bool connected() const { return m_connected; }

    LONG reset()
    {
        return SCardReconnect(m_card, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                              SCARD_RESET_CARD, &m_protocol);
    }

    // Sends command over and over until stop(); sent() counts the commands
    // the card answered.
    void hammer(const QByteArray &command)
    {
        m_running = true;
        m_thread = std::thread([this, command] {
            const SCARD_IO_REQUEST *pci =
                m_protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
            while (m_running) {
                unsigned char answer[258];
                DWORD length = sizeof answer;
                const LONG result =
                    SCardTransmit(m_card, pci, reinterpret_cast<const unsigned char *>(command.data()),
                                  DWORD(command.size()), nullptr, answer, &length);
                if (result == SCARD_S_SUCCESS)
                    ++m_sent;
                else if (result == SCARD_W_RESET_CARD)
                    // As any program sharing a card must after a reset.
                    SCardReconnect(m_card, SCARD_SHARE_SHARED,
                                   SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, SCARD_LEAVE_CARD,
                                   &m_protocol);
                else
                    std::this_thread::yield();
            }
        });
    }
    void stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
    }
    int sent() const { return m_sent; }

private:
    SCARDCONTEXT m_context = 0;
    SCARDHANDLE m_card = 0;
    DWORD m_protocol = 0;
    bool m_connected = false;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<int> m_sent{0};
};

qint64 readSocialSecurity(QStringList *fields = nullptr)
{
    QByteArray record(4096, '\0'), error(1024, '\0');
    const qint64 result = device::SsseReadCard(3, record.data(), error.data(), 0);
    if (fields)
        *fields = fromGb18030(QByteArray(record.constData())).split(QLatin1Char(':'));
    return result;
}

qint64 authenticateM1(unsigned char sector)
{
    return device::M1Authentication('A', sector, sim::M1Card::factoryKey.data(), m1Uid);
}

QByteArray powerOn(unsigned char slot)
{
    unsigned char atr[64];
    int64_t length = 0;
    if (device::CpuPowerOn(slot, atr, &length) != device::Ok)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(atr), int(length));
}

qint64 apdu(const QByteArray &hex)
{
    const QByteArray command = QByteArray::fromHex(hex);
    unsigned char response[300];
    int64_t length = 0;
    return device::CpuApdu(0x01, command.size(),
                           reinterpret_cast<const unsigned char *>(command.constData()), response,
                           &length);
}

QByteArray atrOf(sim::CardKind kind)
{
    const sim::Bytes atr = sim::makeCard(kind)->answerToReset();
    return QByteArray(reinterpret_cast<const char *>(atr.data()), int(atr.size()));
}

} // namespace

class TestPcscSessions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // pcscd may still show the card of the suite before for a moment.
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (device::OpenDevice("PCSC", contactReader, dualReaders) > 0
                && readSocialSecurity() == device::Ok)
                break;
            device::CloseDevice();
            QTest::qWait(500);
        }
    }
    void cleanup() { device::CloseDevice(); }

    void socialSecurityCardInTheThirdGenerationLayout()
    {
        QVERIFY(device::OpenDevice("PCSC", contactReader, "") > 0);
        QStringList fields;
        QCOMPARE(readSocialSecurity(&fields), qint64(device::Ok));
        QCOMPARE(fields,
                 (QStringList{"990200D15600000500B7314C092E5D68", "3", "3.00", "990203", "20250630",
                              "20350629", "M28391047", "990203199104220027", "林晓舟", "02", "女",
                              "汉族", "云溪省白石县", "19910422", "第三代"}));
    }

    // The other program selects the MF (our next SELECT of EF06 would then
    // miss) or loads a key of its own (our GENERAL AUTHENTICATE would then
    // fail) as often as it can while we run the operation again and again.
    void noCommandOfAnotherProgramComesBetweenOurs_data()
    {
        QTest::addColumn<bool>("m1");
        QTest::addColumn<QByteArray>("interleaved");
        QTest::newRow("SELECT MF during social security reads")
            << false << QByteArray("00A4000C023F00");
        QTest::newRow("LOAD KEYS during M1 authentications")
            << true << QByteArray("FF82000006A1A2A3A4A5A6");
    }

    void noCommandOfAnotherProgramComesBetweenOurs()
    {
        QFETCH(bool, m1);
        QFETCH(QByteArray, interleaved);
        QVERIFY(device::OpenDevice("PCSC", contactReader, dualReaders) > 0);
        if (m1) {
            unsigned char uid[16];
            int64_t length = 0;
            QCOMPARE(device::M1FindCard(uid, &length), qint64(device::Ok));
        }
        OtherProgram other(m1 ? fieldReader : contactReader);
        QVERIFY(other.connected());
        other.hammer(QByteArray::fromHex(interleaved));
        QList<qint64> results;
        for (int i = 0; i < 40; ++i) {
            results << (m1 ? authenticateM1(static_cast<unsigned char>(i % 16))
                           : readSocialSecurity());
            // On a loaded machine the other program may lose every race for
            // the card between two of our operations; now and then it is
            // let in, so that its commands do come between our operations.
            if (i % 10 == 9) {
                const int sent = other.sent();
                QTRY_VERIFY2_WITH_TIMEOUT(other.sent() > sent,
                                          "the other program never got a command through", 5000);
            }
        }
        other.stop();
        QCOMPARE(results, QVector<qint64>(40, qint64(device::Ok)).toList());
    }

    // Another program's reset ends our session, seen when we next ask pcscd
    // or send a command. Our own resets (a CPU power-on, an M1 find on the
    // same card) are tst_pcscpayment's: they end the waiting ARQC.
    void anotherProgramsResetEndsTheSession_data()
    {
        QTest::addColumn<bool>("asked");
        QTest::addColumn<qint64>("nextCommand");
        QTest::newRow("seen by the session") << true << qint64(device::Ok);
        QTest::newRow("met by a command") << false << qint64(device::CardResetElsewhere);
    }

    void anotherProgramsResetEndsTheSession()
    {
        QFETCH(bool, asked);
        QFETCH(qint64, nextCommand);
        QVERIFY(device::OpenDevice("PCSC", contactReader, "") > 0);
        QVERIFY(!powerOn(0x01).isEmpty());
        const QByteArray selectSsse = "00A404000F7378312E73682EC9E7BBE1B1A3D5CF00";
        QCOMPARE(apdu(selectSsse), qint64(device::Ok));
        device::Channel &card = device::pcscReader()->card();
        const std::uint64_t before = card.session();
        OtherProgram other(contactReader);
        QVERIFY(other.connected());
        QCOMPARE(other.reset(), LONG(SCARD_S_SUCCESS));
        if (asked)
            QVERIFY(card.session() != before);
        QCOMPARE(apdu(selectSsse), nextCommand);
        QVERIFY(card.session() != before);
        // The reset is acknowledged: the card serves us again.
        QCOMPARE(apdu(selectSsse), qint64(device::Ok));
    }

    void theSecondReaderServesTheContactlessInterface_data()
    {
        QTest::addColumn<QString>("extended");
        QTest::addColumn<bool>("dual");
        QTest::newRow("named in the extended parameter") << dualReaders << true;
        QTest::newRow("not named") << "" << false;
    }

    void theSecondReaderServesTheContactlessInterface()
    {
        QFETCH(QString, extended);
        QFETCH(bool, dual);
        QVERIFY(device::OpenDevice("PCSC", contactReader, extended.toLatin1().constData()) > 0);
        const QByteArray contactCard = atrOf(sim::CardKind::SocialSecurity);
        const QByteArray fieldCard = atrOf(sim::CardKind::M1);
        QCOMPARE(powerOn(0x01), contactCard);
        QCOMPARE(powerOn(0x41), dual ? fieldCard : contactCard);
        QCOMPARE(powerOn(0x42), dual ? fieldCard : contactCard);
        unsigned char uid[16];
        int64_t length = 0;
        QCOMPARE(device::M1FindCard(uid, &length),
                 dual ? qint64(device::Ok) : qint64(device::M1NoCard));
        // Both cards at once, each in its own reader.
        QCOMPARE(readSocialSecurity(), qint64(device::Ok));
        if (dual)
            QCOMPARE(authenticateM1(1), qint64(device::Ok));
    }
};

QTEST_GUILESS_MAIN(TestPcscSessions)
#include "tst_pcscsessions.moc"

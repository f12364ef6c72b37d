// Payment cards that are harder than the user card, served by virtualcard
// through a real pcscd and read by the device library as a PC/SC reader:
// several applications with priorities (one refusing GET PROCESSING OPTIONS),
// a contactless card that pays only by the quick flow (also walked by the
// independent pyscard client), a PDOL of 130 bytes, and the issuer's decline.
// Run twice by ctest: "cards" with multi@0 qpboc@1, "online" with user@0
// longpdol@1; the first argument names the functions of the run.
#include "bankapplication.h"
#include "errors.h"
#include "windowtest.h"

#include <QProcess>
#include <QtTest>

using namespace windowtest;

namespace {

const char *const firstReader = "Virtual PCD 00 00";
const char *const secondReader = "Virtual PCD 00 01";

struct Reply
{
    qint64 code = 0;
    QByteArray text, second;
};

Reply cardInfo(int kind, const QByteArray &letters)
{
    QByteArray data(4096, '\0');
    Reply reply;
    reply.code = pIccGetCardInfo(kind, "", letters, data.data());
    reply.text = data.constData();
    return reply;
}

Reply arqc(int kind)
{
    QByteArray cryptogram(4096, '\0'), appData(4096, '\0');
    Reply reply;
    reply.code = pIccGetARQC(kind, "P012000000000100", "", cryptogram.data(), appData.data());
    reply.text = cryptogram.constData();
    reply.second = appData.constData();
    return reply;
}

// The issuer's ARPC text for the simulated cards' ARQC and a response code.
QByteArray issuerAnswer(const QByteArray &arqcHex, const QByteArray &responseCode)
{
    const QByteArray arqcBytes = QByteArray::fromHex(arqcHex);
    const sim::Bytes arpc =
        sim::simulatedArpc(sim::Bytes(arqcBytes.begin(), arqcBytes.end()),
                           sim::Bytes(responseCode.begin(), responseCode.end()));
    return QByteArray(reinterpret_cast<const char *>(arpc.data()), int(arpc.size()))
               .toHex()
               .toUpper()
           + responseCode.toHex().toUpper();
}

Reply script(int kind, const QByteArray &arpc, const QByteArray &appData)
{
    QByteArray results(4096, '\0'), tc(4096, '\0');
    Reply reply;
    reply.code =
        pIccARPCExeScript(kind, "P012000000000100", arpc, appData, results.data(), tc.data());
    reply.text = results.constData();
    reply.second = tc.constData();
    return reply;
}

// Opens a reader, waiting up to 10 s for the fixture's card to answer there.
bool openWithCard(const char *reader)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (pOpenDevice("PCSC", reader, "") > 0 && cardInfo(1, "J").code != device::NoCard)
            return true;
        pCloseDevice();
        QTest::qWait(500);
    }
    return false;
}

} // namespace

class TestPcscPayment : public QObject
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

    void severalApplicationsGoByPriorityPastARefusal()
    {
        QVERIFY(openWithCard(firstReader));
        // Priority 1 refuses the transaction (6985), priority 2 pays; the
        // application without priority and the unsupported one are not reached.
        QCOMPARE(cardInfo(2, "A").text, QByteArray("A0166999002000222202"));
        const Reply online = arqc(2);
        QCOMPARE(online.code, qint64(device::Ok));
        QCOMPARE(script(2, issuerAnswer(online.text, "00"), online.second).code,
                 qint64(device::Ok));
    }

    void quickOnlyCardPaysByItsProcessingOptions()
    {
        QVERIFY(openWithCard(secondReader));
        // The contactless ATR chooses the quick flow under argument 2 and 3;
        // the contact flow under argument 1 finds no application that pays.
        QCOMPARE(cardInfo(2, "AJ").text, QByteArray("A0166999002000444404J00201"));
        QCOMPARE(cardInfo(1, "A").code, qint64(device::BankNoApplication));
        const Reply online = arqc(3);
        QCOMPARE(online.code, qint64(device::Ok));
        QVERIFY(online.second.startsWith("9F2608" + online.text + "9F270180"));
        const Reply done = script(3, issuerAnswer(online.text, "00"), online.second);
        QCOMPARE(done.code, qint64(device::Ok));
        QCOMPARE(done.text, QByteArray("DF3100"));
        QCOMPARE(done.second, QByteArray()); // no second GENERATE AC: no TC
    }

    void independentClientWalksTheQuickFlow()
    {
        QStringList walked;
        for (int attempt = 0; attempt < 20 && walked.value(2).isEmpty(); ++attempt) {
            QProcess walk;
            walk.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(EMV_WALK), QString::fromLatin1(secondReader)});
            walk.waitForFinished(20000);
            walked = QString::fromUtf8(walk.readAllStandardOutput()).split(QLatin1Char('\n'));
            if (walked.value(2).isEmpty())
                QTest::qWait(500);
        }
        QCOMPARE(walked.value(2).size(), 16); // the ARQC in the processing options
        QVERIFY(openWithCard(secondReader));
        QCOMPARE(QString::fromUtf8(cardInfo(2, "ABCDIJKL").text), walked.value(0));
    }

    void issuersDeclineEndsWithAnAac()
    {
        QVERIFY(openWithCard(firstReader));
        const Reply online = arqc(1);
        QCOMPARE(online.code, qint64(device::Ok));
        // The card authenticates the issuer's answer, then declines at the
        // terminal's request; the library reports the issuer's decision.
        QCOMPARE(script(1, issuerAnswer(online.text, "05"), online.second).code,
                 qint64(device::IssuerDeclined));
    }

    void aResetOfTheCardEndsTheWaitingArqc_data()
    {
        QTest::addColumn<bool>("m1Find");
        QTest::newRow("CPU card power-on") << false;
        QTest::newRow("M1 find on the same card") << true;
    }

    void aResetOfTheCardEndsTheWaitingArqc()
    {
        QFETCH(bool, m1Find);
        QVERIFY(openWithCard(firstReader));
        const Reply online = arqc(1);
        QCOMPARE(online.code, qint64(device::Ok));
        unsigned char bytes[64] = {};
        int64_t length = 0;
        if (m1Find)
            pM1FindCard(bytes, &length);
        else
            QCOMPARE(pCpuPowerOn(0x01, bytes, &length), qint64(device::Ok));
        QCOMPARE(script(1, issuerAnswer(online.text, "00"), online.second).code,
                 qint64(device::NoPendingArqc));
    }

    void longPdolGetsItsProcessingOptions()
    {
        QVERIFY(openWithCard(secondReader));
        QCOMPARE(cardInfo(1, "A").text, QByteArray("A0166999002000666606"));
        QCOMPARE(arqc(1).code, qint64(device::Ok));
    }
};

QTEST_MAIN(TestPcscPayment)
#include "tst_pcscpayment.moc"

// The bank chip card and social security card of the simulated reader, driven
// through the exports over APDUs: the element format, card data for every
// letter, the ARQC and issuer-script round trip and the logs, and both tabs of
// the real window. The simulated issuer's answers are computed with the card's
// documented formulas (bankapplication.h).
#include "bank.h"
#include "bankapplication.h"
#include "bankcard.h"
#include "errors.h"
#include "gb18030.h"
#include "mainwindow.h"
#include "tlv.h"
#include "windowtest.h"

#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <memory>

using namespace windowtest;

namespace {
const QByteArray defaultTxData =
    "P012000000000000Q012000000000000R0040156S006180101T00201U006010101";
constexpr int textSize = 4096;

// An exact-size heap buffer, so that a write past its end fails under the
// sanitizers.
struct Buffer
{
    std::unique_ptr<char[]> bytes{new char[textSize]()};
    char *data() { return bytes.get(); }
    QByteArray text() const { return QByteArray(bytes.get(), int(strnlen(bytes.get(), textSize))); }
    bool untouched() const
    {
        return std::all_of(bytes.get(), bytes.get() + textSize, [](char c) { return c == 0; });
    }
};

struct Arqc
{
    qint64 result;
    QByteArray cryptogram;
    QByteArray appData;
};

Arqc requestArqc(const QByteArray &txData)
{
    Buffer arqc, appData;
    const qint64 result = pIccGetARQC(2, txData, "", arqc.data(), appData.data());
    return {result, arqc.text(), appData.text()};
}

qint64 runScript(const QByteArray &txData, const QByteArray &arpc, const QByteArray &appData,
                 QByteArray *scriptResult = nullptr, QByteArray *tc = nullptr)
{
    Buffer result, certificate;
    const qint64 code =
        pIccARPCExeScript(2, txData, arpc, appData, result.data(), certificate.data());
    if (scriptResult)
        *scriptResult = result.text();
    if (tc)
        *tc = certificate.text();
    return code;
}

QByteArray cardInfo(const QByteArray &tags, qint64 *result = nullptr)
{
    Buffer data;
    const qint64 code = pIccGetCardInfo(2, "", tags, data.data());
    if (result)
        *result = code;
    return data.text();
}

QList<QByteArray> logLines(IccGetTrDetailFunction *read)
{
    Buffer log;
    if (read(2, "", log.data(), 0) != 0)
        return {};
    QList<QByteArray> lines = log.text().split('\n');
    for (QByteArray &line : lines)
        line = line.trimmed();
    return lines;
}

bool isUpperHex(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

QByteArray utf8(const char *text)
{
    return QByteArray(text);
}

device::Bytes bytesOf(const QByteArray &hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return device::Bytes(raw.begin(), raw.end());
}

QByteArray hexOf(const device::Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()))
        .toHex()
        .toUpper();
}

device::Bytes appDataObject(const QByteArray &appData, device::Tag tag)
{
    return device::findTlv(bytesOf(appData), tag).value_or(device::Bytes());
}

// What the simulated issuer answers: the ARPC for the ARQC in the application
// data, with response code "00".
QByteArray rightArpc(const QByteArray &appData)
{
    return hexOf(sim::simulatedArpc(appDataObject(appData, 0x9F26), {0x30, 0x30})) + "3030";
}

int counterIn(const QByteArray &appData)
{
    const device::Bytes atc = appDataObject(appData, 0x9F36);
    return atc.size() == 2 ? atc[0] << 8 | atc[1] : -1;
}
} // namespace

class TestSimBank : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindSimulator();
    }
    void init() { QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0); }
    void cleanup()
    {
        pCloseDevice();
        QCOMPARE(takeWarnings(), QStringList());
    }

    void elementsParse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("lastValue");
        QTest::newRow("default transaction data") << defaultTxData << true << 6 << "010101";
        QTest::newRow("empty") << QByteArray() << true << 0 << QString();
        QTest::newRow("empty value") << QByteArray("W000") << true << 1 << QString();
        QTest::newRow("length counts characters") << utf8("W003商户甲") << true << 1 << "商户甲";
        QTest::newRow("outside the basic plane") << utf8("W002𠀀甲") << true << 1 << "𠀀甲";
        QTest::newRow("value holds tag-like text")
            << QByteArray("W009P0010A001") << true << 1 << "P0010A001";
        QTest::newRow("truncated value") << QByteArray("P012000") << false << 0 << QString();
        QTest::newRow("bytes are not characters") << utf8("W009商户甲") << false << 0 << QString();
        QTest::newRow("two-digit length")
            << QByteArray("P12000000000000") << false << 0 << QString();
        QTest::newRow("letter in length") << QByteArray("P01A0") << false << 0 << QString();
        QTest::newRow("unknown tag H") << QByteArray("H0010") << false << 0 << QString();
        QTest::newRow("lower-case tag") << QByteArray("p0010") << false << 0 << QString();
        QTest::newRow("trailing text") << QByteArray("P0010X") << false << 0 << QString();
        QTest::newRow("leading blank") << QByteArray(" P0010") << false << 0 << QString();
        QTest::newRow("invalid UTF-8") << QByteArray("W001\xFF") << false << 0 << QString();
        QTest::newRow("embedded zero byte") << QByteArray("W001\0", 5) << false << 0 << QString();
        QTest::newRow("byte order mark") << utf8("\uFEFFP0010") << false << 0 << QString();
        QTest::newRow("full-width digits") << utf8("P００1０") << false << 0 << QString();
    }

    void elementsParse()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QFETCH(int, count);
        QFETCH(QString, lastValue);
        const std::optional<sim::BankElements> elements = sim::parseBankElements(text);
        QCOMPARE(elements.has_value(), valid);
        if (!valid)
            return;
        QCOMPARE(int(elements->size()), count);
        if (count > 0)
            QCOMPARE(elements->back().value, lastValue);
        // Formatting gives back the very same text.
        QCOMPARE(sim::formatBankElements(*elements), std::optional<QByteArray>(text));
    }

    void formattingRefusesWhatItCannotWrite()
    {
        QVERIFY(!sim::formatBankElements({{'W', QString(1000, 'x')}}));
        QVERIFY(sim::formatBankElements({{'W', QString(999, 'x')}}));
        QVERIFY(!sim::formatBankElements({{'H', QStringLiteral("1")}}));
    }

    void transactionsNeedTheirFixedSizes_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("usable");
        QTest::newRow("default") << defaultTxData << true;
        QTest::newRow("amount only") << QByteArray("P012000000001000") << true;
        QTest::newRow("merchant only") << utf8("W003商户甲") << true;
        QTest::newRow("nothing") << QByteArray() << false;
        QTest::newRow("short amount") << QByteArray("P01100000001000") << false;
        QTest::newRow("amount not decimal") << QByteArray("P01200000000100A") << false;
        QTest::newRow("date of five digits") << QByteArray("S00518010") << false;
        QTest::newRow("type of three digits") << QByteArray("T003001") << false;
        QTest::newRow("tag twice") << QByteArray("T00201T00202") << false;
    }

    void transactionsNeedTheirFixedSizes()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, usable);
        const std::optional<sim::BankElements> elements = sim::parseBankElements(text);
        QVERIFY(elements);
        QCOMPARE(sim::isUsableTransaction(*elements), usable);
    }

    void arpcForm_data()
    {
        QTest::addColumn<QByteArray>("arpc");
        QTest::addColumn<bool>("wellFormed");
        QTest::newRow("cryptogram") << QByteArray("0123456789ABCDEF") << true;
        QTest::newRow("lower case") << QByteArray("0123456789abcdef") << true;
        QTest::newRow("with response code") << QByteArray("0123456789ABCDEF3030") << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("fifteen digits") << QByteArray("0123456789ABCDE") << false;
        QTest::newRow("eighteen digits") << QByteArray("0123456789ABCDEF30") << false;
        QTest::newRow("not hex") << QByteArray("0123456789ABCDEG") << false;
        QTest::newRow("blank") << QByteArray("0123456789ABCDE ") << false;
    }

    void arpcForm()
    {
        QFETCH(QByteArray, arpc);
        QFETCH(bool, wellFormed);
        QCOMPARE(sim::isWellFormedArpc(arpc), wellFormed);
    }

    void everyReferenceLetterHasCardData()
    {
        const QByteArray letters = "ABCDEFGIJKLOPQRSTUVW";
        qint64 result = -1;
        const QByteArray text = cardInfo(letters, &result);
        QCOMPARE(result, qint64(device::Ok));
        const std::optional<sim::BankElements> elements = sim::parseBankElements(text);
        QVERIFY(elements);
        QCOMPARE(int(elements->size()), letters.size());
        for (int i = 0; i < letters.size(); ++i) {
            QCOMPARE(elements->at(i).tag, letters.at(i));
            QVERIFY2(!elements->at(i).value.isEmpty(), letters.mid(i, 1).constData());
        }
        // Asked again, one letter at a time, in the same form.
        QCOMPARE(cardInfo("A") + cardInfo("B"), cardInfo("AB"));
        QCOMPARE(cardInfo("AA"), cardInfo("A") + cardInfo("A"));
    }

    void unknownLettersAreRefused_data()
    {
        QTest::addColumn<QByteArray>("tags");
        QTest::addColumn<qint64>("code");
        QTest::newRow("H") << QByteArray("H") << qint64(device::UnknownTag);
        QTest::newRow("M in a list") << QByteArray("AM") << qint64(device::UnknownTag);
        QTest::newRow("N") << QByteArray("N") << qint64(device::UnknownTag);
        QTest::newRow("X") << QByteArray("X") << qint64(device::UnknownTag);
        QTest::newRow("lower case") << QByteArray("a") << qint64(device::UnknownTag);
        QTest::newRow("blank") << QByteArray("A B") << qint64(device::UnknownTag);
        QTest::newRow("Chinese") << utf8("卡") << qint64(device::UnknownTag);
        QTest::newRow("empty") << QByteArray() << qint64(device::BadArgument);
        QTest::newRow("more than fits") << QByteArray(100, 'L') << qint64(device::BankReplyTooLong);
    }

    void unknownLettersAreRefused()
    {
        QFETCH(QByteArray, tags);
        QFETCH(qint64, code);
        Buffer data;
        QCOMPARE(pIccGetCardInfo(2, "", tags, data.data()), code);
        QVERIFY(data.untouched());
    }

    void everyLetterHasTheCardsValue_data()
    {
        QTest::addColumn<QByteArray>("letter");
        QTest::addColumn<QString>("value");
        QTest::newRow("A PAN") << QByteArray("A") << "6999002000123451";
        QTest::newRow("B name") << QByteArray("B") << "陈思远";
        QTest::newRow("C ID type") << QByteArray("C") << "00";
        QTest::newRow("D ID number") << QByteArray("D") << "990106198807150034";
        QTest::newRow("E balance") << QByteArray("E") << "000000012345";
        QTest::newRow("F balance limit") << QByteArray("F") << "000000100000";
        QTest::newRow("G single limit") << QByteArray("G") << "000000050000";
        QTest::newRow("I expiry") << QByteArray("I") << "301231";
        QTest::newRow("J sequence") << QByteArray("J") << "01";
        QTest::newRow("K track 2") << QByteArray("K") << "6999002000123451D30122201234567800000";
        QTest::newRow("L track 1")
            << QByteArray("L") << "B6999002000123451^CHEN/SIYUAN^30122200000000000000";
        QTest::newRow("P amount") << QByteArray("P") << "000000000000";
        QTest::newRow("Q other amount") << QByteArray("Q") << "000000000000";
        QTest::newRow("R currency") << QByteArray("R") << "0156";
        QTest::newRow("S date") << QByteArray("S") << "180101";
        QTest::newRow("T type") << QByteArray("T") << "01";
        QTest::newRow("U time") << QByteArray("U") << "010101";
        QTest::newRow("V country") << QByteArray("V") << "0156";
        QTest::newRow("W merchant") << QByteArray("W") << "模拟便利店";
    }

    void everyLetterHasTheCardsValue()
    {
        QFETCH(QByteArray, letter);
        QFETCH(QString, value);
        qint64 result = -1;
        const QByteArray text = cardInfo(letter, &result);
        QCOMPARE(result, qint64(device::Ok));
        QCOMPARE(sim::parseBankElements(text),
                 std::optional<sim::BankElements>({{letter[0], value}}));
    }

    void arqcIsTheCardsCryptogramOverTheTransaction_data()
    {
        QTest::addColumn<QByteArray>("txData");
        QTest::addColumn<QByteArray>("amount");
        QTest::newRow("defaults") << defaultTxData << QByteArray("000000000000");
        QTest::newRow("amount and merchant")
            << utf8("P012000000012345W003商户甲") << QByteArray("000000012345");
        QTest::newRow("amount one more")
            << utf8("P012000000012346W003商户甲") << QByteArray("000000012346");
    }

    void arqcIsTheCardsCryptogramOverTheTransaction()
    {
        QFETCH(QByteArray, txData);
        QFETCH(QByteArray, amount);
        const Arqc arqc = requestArqc(txData);
        QCOMPARE(arqc.result, qint64(device::Ok));
        QVERIFY(isUpperHex(arqc.appData));
        QCOMPARE(hexOf(appDataObject(arqc.appData, 0x9F26)), arqc.cryptogram);
        QCOMPARE(hexOf(appDataObject(arqc.appData, 0x9F27)), QByteArray("80"));
        QCOMPARE(hexOf(appDataObject(arqc.appData, 0x9F02)), amount);
        for (device::Tag tag : {0x9F10, 0x9F37, 0x95, 0x9A, 0x9C, 0x5F2A, 0x82, 0x9F1A, 0x9F03,
                                0x9F33, 0x9F34, 0x9F35})
            QVERIFY2(!appDataObject(arqc.appData, tag).empty(), QByteArray::number(tag, 16));

        // The card's MAC over CDOL1 as the terminal must have filled it: the
        // values in the application data, then the time and the merchant
        // (GB18030, padded with zeros to 20 bytes).
        const std::optional<sim::BankElements> elements = sim::parseBankElements(txData);
        QString merchant = QStringLiteral("模拟便利店");
        for (const sim::BankElement &element : *elements) {
            if (element.tag == 'W')
                merchant = element.value;
        }
        QByteArray name = toGb18030(merchant);
        name.append(QByteArray(20 - name.size(), '\0'));
        device::Bytes cdol1;
        for (device::Tag tag : {0x9F02, 0x9F03, 0x9F1A, 0x95, 0x5F2A, 0x9A, 0x9C, 0x9F37}) {
            const device::Bytes value = appDataObject(arqc.appData, tag);
            cdol1.insert(cdol1.end(), value.begin(), value.end());
        }
        cdol1.insert(cdol1.end(), {0x01, 0x01, 0x01});
        cdol1.insert(cdol1.end(), name.begin(), name.end());
        QCOMPARE(hexOf(sim::simulatedCryptogram(0x80, quint16(counterIn(arqc.appData)), cdol1)),
                 arqc.cryptogram);

        // Each ARQC comes with the next counter and a fresh unpredictable number.
        const Arqc next = requestArqc(txData);
        QVERIFY(counterIn(next.appData) > counterIn(arqc.appData));
        QVERIFY(next.cryptogram != arqc.cryptogram);
        QVERIFY(appDataObject(next.appData, 0x9F37) != appDataObject(arqc.appData, 0x9F37));
    }

    void rightArpcCompletesTheTransactionAndBothLogsShowIt()
    {
        const Arqc arqc = requestArqc(utf8("P012000000000777W003商户乙"));
        QCOMPARE(arqc.result, qint64(device::Ok));
        QByteArray scriptResult, tc;
        QCOMPARE(runScript(utf8("P012000000000777W003商户乙"), rightArpc(arqc.appData).toLower(),
                           arqc.appData, &scriptResult, &tc),
                 qint64(device::Ok));
        QCOMPARE(scriptResult, QByteArray("DF3100"));
        QCOMPARE(tc.size(), 16);
        QVERIFY(isUpperHex(tc) && tc != arqc.cryptogram);

        // The last online counter moved to this transaction, which now heads
        // the log; the same answer cannot be used twice.
        const QByteArray atc = hexOf(appDataObject(arqc.appData, 0x9F36));
        QCOMPARE(cardInfo("O"), "O004" + atc);
        const QList<QByteArray> lines = logLines(pIccGetTrDetail);
        QCOMPARE(QString::fromUtf8(lines.value(0)),
                 QStringLiteral("1. 日期 180101  时间 010101  类型 01  授权金额 000000000777  "
                                "其它金额 000000000000  货币 0156  国家 0156  商户 商户乙  ATC ")
                     + QString::fromLatin1(atc));
        QCOMPARE(QString::fromUtf8(logLines(pIccGetLoadDetail).value(0)),
                 QStringLiteral("1. 日期 260302  时间 101522  圈存前余额 000000002345  "
                                "圈存后余额 000000012345  ATC 0011"));
        QCOMPARE(
            runScript(utf8("P012000000000777W003商户乙"), rightArpc(arqc.appData), arqc.appData),
            qint64(device::NoPendingArqc));
    }

    void issuerScriptsRunWithTheirMacs()
    {
        const QByteArray txData = "P012000000000100";
        const Arqc arqc = requestArqc(txData);
        const quint16 atc = quint16(counterIn(arqc.appData));
        const device::Bytes arqcBytes = appDataObject(arqc.appData, 0x9F26);
        const device::Bytes limit = bytesOf("000000060000");
        const device::Bytes mac =
            sim::simulatedScriptMac(atc, arqcBytes, {0x84, 0xDA, 0x9F, 0x78}, limit);
        const QByteArray command = "84DA9F780A" + hexOf(limit) + hexOf(mac);
        const QByteArray badCommand = "84DA9F770A" + hexOf(limit) + hexOf(mac);
        // Script 1 sets the single limit; script 2's MAC is for another tag.
        const QByteArray scripts = "7218" + QByteArray("9F180400000001") + "86" + "0F" + command
                                   + "7218" + "9F180400000002" + "860F" + badCommand;
        QByteArray scriptResult;
        QCOMPARE(runScript(txData, rightArpc(arqc.appData) + scripts, arqc.appData, &scriptResult),
                 qint64(device::Ok));
        QCOMPARE(scriptResult, QByteArray("DF310A20000000011100000002"));
        QCOMPARE(cardInfo("G"), QByteArray("G012000000060000"));
    }

    void wrongArpcIsDeclinedByTheCard()
    {
        const int logged = logLines(pIccGetTrDetail).size();
        const QByteArray before = logLines(pIccGetTrDetail).value(0);
        const Arqc arqc = requestArqc(defaultTxData);
        Buffer result, tc;
        QCOMPARE(pIccARPCExeScript(2, defaultTxData, "0123456789ABCDEF3030", arqc.appData,
                                   result.data(), tc.data()),
                 qint64(device::CardDeclined));
        QVERIFY(result.untouched() && tc.untouched());
        QCOMPARE(logLines(pIccGetTrDetail).size(), logged);
        QCOMPARE(logLines(pIccGetTrDetail).value(0), before);
        // The card has ended that transaction: the right answer comes too late.
        QCOMPARE(runScript(defaultTxData, rightArpc(arqc.appData), arqc.appData),
                 qint64(device::NoPendingArqc));
    }

    void scriptRefusals_data()
    {
        QTest::addColumn<QByteArray>("txData");
        QTest::addColumn<QByteArray>("arpc");
        QTest::addColumn<bool>("sameAppData");
        QTest::addColumn<qint64>("code");
        QTest::newRow("other application data") << defaultTxData << QByteArray("0123456789ABCDEF")
                                                << false << qint64(device::TrAppDataMismatch);
        QTest::newRow("other transaction data")
            << QByteArray("P012000000000000") << QByteArray("0123456789ABCDEF") << true
            << qint64(device::TransactionDataMismatch);
        QTest::newRow("empty ARPC")
            << defaultTxData << QByteArray() << true << qint64(device::BadArpc);
        QTest::newRow("short ARPC")
            << defaultTxData << QByteArray("0123456789ABCDE") << true << qint64(device::BadArpc);
        QTest::newRow("ARPC with a blank")
            << defaultTxData << QByteArray(" 0123456789ABCDEF") << true << qint64(device::BadArpc);
        QTest::newRow("script that is no template")
            << defaultTxData << QByteArray("0123456789ABCDEF3030860100") << true
            << qint64(device::BadArpc);
        QTest::newRow("script longer than its text")
            << defaultTxData << QByteArray("0123456789ABCDEF30307220") << true
            << qint64(device::BadArpc);
    }

    void scriptRefusals()
    {
        QFETCH(QByteArray, txData);
        QFETCH(QByteArray, arpc);
        QFETCH(bool, sameAppData);
        QFETCH(qint64, code);
        const Arqc arqc = requestArqc(defaultTxData);
        const QByteArray appData = sameAppData ? arqc.appData : arqc.appData.toLower();
        Buffer result, tc;
        QCOMPARE(pIccARPCExeScript(2, txData, arpc, appData, result.data(), tc.data()), code);
        QVERIFY(result.untouched() && tc.untouched());
        // A refused answer leaves the ARQC waiting for the right one.
        QCOMPARE(runScript(defaultTxData, rightArpc(arqc.appData), arqc.appData),
                 qint64(device::Ok));
    }

    void scriptNeedsTheSessionOfItsArqc()
    {
        QCOMPARE(runScript(defaultTxData, "0123456789ABCDEF", ""), qint64(device::NoPendingArqc));
        Arqc arqc = requestArqc(defaultTxData);
        // Closing the reader forgets the waiting ARQC.
        pCloseDevice();
        QCOMPARE(runScript(defaultTxData, rightArpc(arqc.appData), arqc.appData),
                 qint64(device::NotOpen));
        QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0);
        QCOMPARE(runScript(defaultTxData, rightArpc(arqc.appData), arqc.appData),
                 qint64(device::NoPendingArqc));
        // So does a reset of the card in between (here by reading card data).
        arqc = requestArqc(defaultTxData);
        cardInfo("A");
        QCOMPARE(runScript(defaultTxData, rightArpc(arqc.appData), arqc.appData),
                 qint64(device::NoPendingArqc));
    }

    void malformedTransactionDataGetsNoArqc()
    {
        const int counter = counterIn(requestArqc(defaultTxData).appData);
        Buffer arqc, appData;
        QCOMPARE(pIccGetARQC(2, "P0111000", "", arqc.data(), appData.data()),
                 qint64(device::BadTransactionData));
        QCOMPARE(pIccGetARQC(2, "", "", arqc.data(), appData.data()),
                 qint64(device::BadTransactionData));
        QVERIFY(arqc.untouched() && appData.untouched());
        // Refused requests never reach the card.
        QCOMPARE(counterIn(requestArqc(defaultTxData).appData), counter + 1);
    }

    void interfaceArgumentChoosesTheSlot_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("code");
        QTest::newRow("contact") << 1 << qint64(device::Ok);
        QTest::newRow("contact, then contactless") << 2 << qint64(device::Ok);
        QTest::newRow("contactless") << 3 << qint64(device::Ok);
        QTest::newRow("none") << 0 << qint64(device::BadArgument);
    }

    void interfaceArgumentChoosesTheSlot()
    {
        QFETCH(int, kind);
        QFETCH(qint64, code);
        Buffer data;
        QCOMPARE(pIccGetCardInfo(kind, "", "A", data.data()), code);
        QCOMPARE(data.text(),
                 code == device::Ok ? QByteArray("A0166999002000123451") : QByteArray());
    }

    void logsHoldSeveralReadableRecords_data()
    {
        QTest::addColumn<bool>("loads");
        QTest::newRow("transactions") << false;
        QTest::newRow("loads") << true;
    }

    void logsHoldSeveralReadableRecords()
    {
        QFETCH(bool, loads);
        const QList<QByteArray> lines = logLines(loads ? pIccGetLoadDetail : pIccGetTrDetail);
        QVERIFY(lines.size() >= 4);
        for (int i = 0; i < lines.size(); ++i) {
            QVERIFY(lines.at(i).startsWith(QByteArray::number(i + 1) + ". "));
            QVERIFY(!QString::fromUtf8(lines.at(i)).contains(QChar::ReplacementCharacter));
        }
    }

    void transactionLogKeepsTheTenLatest()
    {
        for (int i = 0; i < 12; ++i) {
            const QByteArray txData = "P012" + QByteArray::number(i).rightJustified(12, '0');
            const Arqc arqc = requestArqc(txData);
            QCOMPARE(runScript(txData, rightArpc(arqc.appData), arqc.appData), qint64(device::Ok));
        }
        const QList<QByteArray> lines = logLines(pIccGetTrDetail);
        QCOMPARE(lines.size(), 10);
        QVERIFY(lines.first().contains("授权金额 000000000011"));
        QVERIFY(lines.last().contains("授权金额 000000000002"));
    }

    void socialSecurityRecordIsGb18030()
    {
        Buffer record, error;
        QCOMPARE(pSsseReadCard(3, record.data(), error.data(), 0), qint64(device::Ok));
        QVERIFY(error.untouched());
        QVERIFY(QString::fromUtf8(record.text()).contains(QChar::ReplacementCharacter));
        const QStringList fields = fromGb18030(record.text()).split(QLatin1Char(':'));
        QVERIFY(fields.size() >= 14);
        QCOMPARE(fields.at(8), QStringLiteral("陈思远"));
        QCOMPARE(fields.at(11), QStringLiteral("汉族"));
        QCOMPARE(fields.at(12), QStringLiteral("云溪省青禾市"));
    }

    void socialSecurityFailuresExplainInUtf8_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("code");
        QTest::newRow("closed") << false << 3 << qint64(device::NotOpen);
        QTest::newRow("unknown kind") << true << 7 << qint64(device::BadArgument);
    }

    void socialSecurityFailuresExplainInUtf8()
    {
        QFETCH(bool, open);
        QFETCH(int, kind);
        QFETCH(qint64, code);
        if (!open)
            pCloseDevice();
        Buffer record, error;
        QCOMPARE(pSsseReadCard(kind, record.data(), error.data(), 0), code);
        QVERIFY(record.untouched());
        QCOMPARE(error.text(), QByteArray(device::describe(code)));
    }

    void bankTabOnTheSimulatedReader()
    {
        MainWindow window;
        click(&window, "pushButton_6");
        QCOMPARE(status(&window), QStringLiteral("读取银行卡信息成功"));
        QVERIFY(text(&window, "textEdit_IccInfo").startsWith(QStringLiteral("A016")));

        click(&window, "pushButton_8");
        QCOMPARE(status(&window), QStringLiteral("执行脚本失败，错误代码：")
                                      + QString::number(qint64(device::NoPendingArqc)));

        click(&window, "pushButton_7");
        QCOMPARE(status(&window), QStringLiteral("获取ARQC成功"));
        QVERIFY(text(&window, "lineEdit_TrAppData").startsWith(QStringLiteral("9F2608")));
        // The operator plays the issuer with the virtual card program.
        const QString arqc =
            text(&window, "textEdit_IccInfo").section(QStringLiteral("ARQC："), 1).left(16);
        QProcess issuer;
        issuer.start(qEnvironmentVariable("VIRTUALCARD"), {"--issuer-arpc", arqc});
        QVERIFY(issuer.waitForFinished(5000));
        const QByteArray arpc = issuer.readAllStandardOutput().trimmed();
        QCOMPARE(arpc, rightArpc(text(&window, "lineEdit_TrAppData").toLatin1()));
        setText(&window, "lineEdit_ARPC", QString::fromLatin1(arpc));
        click(&window, "pushButton_8");
        QCOMPARE(status(&window), QStringLiteral("执行脚本成功"));
        QVERIFY(text(&window, "textEdit_IccInfo").startsWith(QStringLiteral("ScriptResult：")));

        click(&window, "pushButton_10");
        QCOMPARE(status(&window), QStringLiteral("读圈存记录成功"));
        QVERIFY(text(&window, "textEdit_IccInfo").contains(QStringLiteral("圈存后余额")));
    }

    void socialSecurityTabOnTheSimulatedReader()
    {
        MainWindow window;
        click(&window, "pushButton_11");
        QCOMPARE(status(&window), QStringLiteral("读取社保卡信息成功"));
        QCOMPARE(text(&window, "lineEdit_SsseName"), QStringLiteral("陈思远"));
        QCOMPARE(text(&window, "lineEdit_SsseBirthPlace"), QStringLiteral("云溪省青禾市"));

        pCloseDevice();
        click(&window, "pushButton_11");
        QCOMPARE(status(&window), QStringLiteral("读取社保卡信息失败，错误代码：-1  设备未打开"));
        QCOMPARE(text(&window, "lineEdit_SsseName"), QStringLiteral("陈思远"));
    }
};

QTEST_MAIN(TestSimBank)
#include "tst_simbank.moc"

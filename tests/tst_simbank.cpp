// The simulated bank chip card and social security card: the element format,
// the ARQC and issuer-script round trip and the logs through the exports, and
// both tabs of the real window on the simulated reader.
#include "bankcard.h"
#include "errors.h"
#include "gb18030.h"
#include "mainwindow.h"
#include "windowtest.h"

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
    return log.text().split('\n');
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

    void arqcAndScriptCompleteATransaction()
    {
        QCOMPARE(cardInfo("O"), QByteArray("O0040012"));
        const Arqc arqc = requestArqc(defaultTxData);
        QCOMPARE(arqc.result, qint64(device::Ok));
        QCOMPARE(arqc.cryptogram.size(), 16);
        QVERIFY(isUpperHex(arqc.cryptogram));
        QVERIFY(arqc.appData.startsWith("9F2608" + arqc.cryptogram));
        QVERIFY(arqc.appData.contains("9F36020013"));
        QVERIFY(arqc.appData.contains("9F0206000000000000"));
        QVERIFY(isUpperHex(arqc.appData));

        QByteArray scriptResult, tc;
        QCOMPARE(runScript(defaultTxData, "0123456789abcdef", arqc.appData, &scriptResult, &tc),
                 qint64(device::Ok));
        QVERIFY(!scriptResult.isEmpty());
        QCOMPARE(tc.size(), 16);
        QVERIFY(isUpperHex(tc));
        QVERIFY(tc != arqc.cryptogram);

        // The transaction is finished: the counter moved on, the log shows it
        // first, and the same answer cannot be used twice.
        QCOMPARE(cardInfo("O"), QByteArray("O0040013"));
        QVERIFY(logLines(pIccGetTrDetail).value(0).contains("ATC 0013"));
        QCOMPARE(runScript(defaultTxData, "0123456789ABCDEF", arqc.appData),
                 qint64(device::NoPendingArqc));
    }

    void cryptogramsFollowTheirInputs()
    {
        const Arqc first = requestArqc(defaultTxData);
        pCloseDevice();
        QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0);
        // A fresh card state: same counter, same data, same cryptogram.
        QCOMPARE(requestArqc(defaultTxData).cryptogram, first.cryptogram);
        // The counter has moved on since.
        QVERIFY(requestArqc(defaultTxData).cryptogram != first.cryptogram);
        QByteArray other = defaultTxData;
        other.replace("P012000000000000", "P012000000000001");
        const Arqc changed = requestArqc(other);
        QCOMPARE(changed.result, qint64(device::Ok));
        QVERIFY(changed.cryptogram != first.cryptogram);
        QVERIFY(changed.appData.contains("9F0206000000000001"));
        // The card's P to W follow the latest transaction data.
        QCOMPARE(cardInfo("PR"), QByteArray("P012000000000001R0040156"));
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
        QCOMPARE(runScript(defaultTxData, "0123456789ABCDEF3030", arqc.appData), qint64(device::Ok));
    }

    void scriptNeedsAnArqcOfThisSession()
    {
        QCOMPARE(runScript(defaultTxData, "0123456789ABCDEF", ""), qint64(device::NoPendingArqc));
        const Arqc arqc = requestArqc(defaultTxData);
        // Closing the reader forgets the waiting ARQC.
        pCloseDevice();
        QCOMPARE(runScript(defaultTxData, "0123456789ABCDEF", arqc.appData), qint64(device::NotOpen));
        QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0);
        QCOMPARE(runScript(defaultTxData, "0123456789ABCDEF", arqc.appData),
                 qint64(device::NoPendingArqc));
    }

    void malformedTransactionDataGetsNoArqc()
    {
        Buffer arqc, appData;
        QCOMPARE(pIccGetARQC(2, "P0111000", "", arqc.data(), appData.data()),
                 qint64(device::BadTransactionData));
        QCOMPARE(pIccGetARQC(2, "", "", arqc.data(), appData.data()),
                 qint64(device::BadTransactionData));
        QVERIFY(arqc.untouched() && appData.untouched());
        // Refused requests do not use up the counter.
        QVERIFY(requestArqc(defaultTxData).appData.contains("9F36020013"));
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
            QCOMPARE(runScript(txData, "0123456789ABCDEF", requestArqc(txData).appData),
                     qint64(device::Ok));
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
        setText(&window, "lineEdit_ARPC", "1122334455667788");
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

// The bank card of the simulated user card served through a real pcscd
// ("Virtual PCD 00 00"): an independent PC/SC client (pyscard, tests/pcsc/
// emvwalk.py) walks PPSE, SELECT, GET PROCESSING OPTIONS and READ RECORD on
// it and must read the very card data the device library gives for the same
// letters, on the simulated reader and, once the library has its PC/SC
// reader, through the program's bank tab on the virtual card itself.
#include "mainwindow.h"
#include "windowtest.h"

#include <QProcess>
#include <QtTest>

using namespace windowtest;

namespace {

const char *const reader = "Virtual PCD 00 00";
const QByteArray recordLetters = "ABCDIJKL";

QStringList walkOnce()
{
    QProcess walk;
    walk.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(EMV_WALK), QString::fromLatin1(reader)});
    if (!walk.waitForFinished(20000))
        walk.kill();
    walk.waitForFinished();
    const QByteArray errors = walk.readAllStandardError();
    if (!errors.isEmpty())
        qInfo("%s", errors.constData());
    return QString::fromUtf8(walk.readAllStandardOutput()).split(QLatin1Char('\n'));
}

// pcscd still shows the card of the suite before for a moment after it has
// gone, and the fixture may take it for ours: walk again until the card
// answers, for up to 10 s.
QStringList walkTheCard()
{
    QStringList walked;
    for (int attempt = 0; attempt < 20; ++attempt) {
        walked = walkOnce();
        if (walked.value(1).split(QLatin1Char(' ')).size() == 5)
            break;
        QTest::qWait(500);
    }
    return walked;
}

QByteArray cardInfo(const QByteArray &letters)
{
    QByteArray data(4096, '\0');
    if (pIccGetCardInfo(2, "", letters, data.data()) != 0)
        return QByteArray();
    return QByteArray(data.constData());
}

} // namespace

class TestPcscBank : public QObject
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

    void independentClientReadsTheSameCardData()
    {
        const QStringList walked = walkTheCard();
        QCOMPARE(walked.value(1).split(QLatin1Char(' ')).size(), 5); // PPSE, SELECT, GPO, 2 records
        QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0);
        QCOMPARE(walked.value(0), QString::fromUtf8(cardInfo(recordLetters)));
    }

    void bankTabShowsTheVirtualCardsData()
    {
        if (pOpenDevice("PCSC", reader, "") <= 0)
            QSKIP("this device library has no PC/SC reader yet");
        const QString walked = walkTheCard().value(0);
        MainWindow window;
        setText(&window, "lineEdit_TagList", QString::fromLatin1(recordLetters));
        click(&window, "pushButton_6");
        QCOMPARE(status(&window), QStringLiteral("读取银行卡信息成功"));
        QCOMPARE(text(&window, "textEdit_IccInfo"), walked);
    }
};

QTEST_MAIN(TestPcscBank)
#include "tst_pcscbank.moc"

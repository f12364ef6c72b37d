// Tab "银行卡": card data, ARQC, issuer script and the two logs, against the
// scriptable fake library.
#include "fakedevice.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTextEdit>
#include <QtTest>

using namespace windowtest;

namespace {
const QString defaultTxData =
    QStringLiteral("P012000000000000Q012000000000000R0040156S006180101T00201U006010101");
} // namespace

class TestBank : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindLoadedLibrary();
    }
    void init() { fakedevice::reset(); }
    void cleanup() { QCOMPARE(takeWarnings(), QStringList()); }

    void cardDataPassesTheTagListAsTyped_data()
    {
        QTest::addColumn<QString>("tags");
        QTest::addColumn<QByteArray>("passed");
        QTest::newRow("default") << QString() << QByteArray("A");
        QTest::newRow("empty") << QStringLiteral("") << QByteArray("");
        QTest::newRow("blanks and case kept") << QStringLiteral(" aB C ") << QByteArray(" aB C ");
        QTest::newRow("utf-8") << QStringLiteral("A卡") << QByteArray("A\xE5\x8D\xA1");
    }

    void cardDataPassesTheTagListAsTyped()
    {
        QFETCH(QString, tags);
        QFETCH(QByteArray, passed);
        MainWindow window;
        if (!tags.isNull())
            setText(&window, "lineEdit_TagList", tags);
        fakedevice::script("IccGetCardInfo", {0, {"A0166999002000123451"}, {}});
        click(&window, "pushButton_6");
        QCOMPARE(fakedevice::lastArgs("IccGetCardInfo"),
                 (QVariantList{qint64(2), QByteArray(""), passed, true}));
        QCOMPARE(status(&window), QStringLiteral("读取银行卡信息成功"));
        QCOMPARE(text(&window, "textEdit_IccInfo"), QStringLiteral("A0166999002000123451"));
    }

    void cardDataIsShownAsPlainText_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("shown");
        QTest::newRow("markup") << QByteArray("B003<b>x</b>") << QStringLiteral("B003<b>x</b>");
        QTest::newRow("utf-8") << QByteArray("B003\xE9\x99\x88\xE6\x80\x9D\xE8\xBF\x9C")
                               << QStringLiteral("B003陈思远");
        QTest::newRow("empty clears") << QByteArray() << QString();
        // No terminating zero: read to the end of the 4096 bytes and no further.
        QTest::newRow("full buffer") << QByteArray(4096, 'k') << QString(4096, 'k');
    }

    void cardDataIsShownAsPlainText()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, shown);
        MainWindow window;
        setText(&window, "textEdit_IccInfo", "earlier");
        fakedevice::script("IccGetCardInfo", {0, {reply}, {}});
        click(&window, "pushButton_6");
        QCOMPARE(text(&window, "textEdit_IccInfo"), shown);
    }

    void choosingAReferenceItemChangesNothing()
    {
        MainWindow window;
        auto *reference = child<QComboBox>(&window, "comboBox");
        QCOMPARE(reference->count(), 21);
        reference->setCurrentIndex(2);
        QCOMPARE(text(&window, "lineEdit_TagList"), QStringLiteral("A"));
        QCOMPARE(status(&window), QStringLiteral("提示信息：请先点击”打开设备“"));
        QVERIFY(fakedevice::calls().isEmpty());
        click(&window, "pushButton_6");
        QCOMPARE(fakedevice::lastArgs("IccGetCardInfo").value(2), QVariant(QByteArray("A")));
    }

    void arqcShowsBothTextsAndKeepsTheApplicationData()
    {
        MainWindow window;
        fakedevice::script("IccGetARQC", {0, {"1A2B3C4D5E6F7081", "9F2608<i>1A</i>"}, {}});
        click(&window, "pushButton_7");
        QCOMPARE(fakedevice::lastArgs("IccGetARQC"),
                 (QVariantList{qint64(2), defaultTxData.toUtf8(), QByteArray(""), true, true}));
        QCOMPARE(status(&window), QStringLiteral("获取ARQC成功"));
        QCOMPARE(text(&window, "textEdit_IccInfo"),
                 QStringLiteral("ARQC：1A2B3C4D5E6F7081\ntrAppData：9F2608<i>1A</i>"));
        QCOMPARE(text(&window, "lineEdit_TrAppData"), QStringLiteral("9F2608<i>1A</i>"));

        // The line break is the CR LF pair as the text edit receives it.
        fakedevice::script("IccGetARQC", {0, {"A", "B"}, {}});
        QTextEdit probe;
        probe.setPlainText(QStringLiteral("ARQC：A\r\ntrAppData：B"));
        click(&window, "pushButton_7");
        QCOMPARE(text(&window, "textEdit_IccInfo"), probe.toPlainText());
    }

    void arqcWithEmptyBuffersEmptiesTheApplicationData()
    {
        MainWindow window;
        setText(&window, "lineEdit_TrAppData", "earlier");
        fakedevice::script("IccGetARQC", {0, {}, {}});
        click(&window, "pushButton_7");
        QCOMPARE(text(&window, "textEdit_IccInfo"), QStringLiteral("ARQC：\ntrAppData："));
        QCOMPARE(text(&window, "lineEdit_TrAppData"), QString());
    }

    void transactionDataIsPassedAsTyped()
    {
        MainWindow window;
        const QString typed = QStringLiteral(" p012000000000001 W004商户甲 ");
        setText(&window, "lineEdit_ARQCData", typed);
        click(&window, "pushButton_7");
        QCOMPARE(fakedevice::lastArgs("IccGetARQC").value(1), QVariant(typed.toUtf8()));
    }

    void scriptPassesItsThreeTextsInOrder()
    {
        MainWindow window;
        setText(&window, "lineEdit_ARQCData", "P0011");
        setText(&window, "lineEdit_ARPC", "A1B2C3D4E5F60718 ");
        setText(&window, "lineEdit_TrAppData", "9f2608aa");
        fakedevice::script("IccARPCExeScript", {0, {"DF31052000000000", "<TC>"}, {}});
        click(&window, "pushButton_8");
        QCOMPARE(fakedevice::lastArgs("IccARPCExeScript"),
                 (QVariantList{qint64(2), QByteArray("P0011"), QByteArray("A1B2C3D4E5F60718 "),
                               QByteArray("9f2608aa"), true, true}));
        QCOMPARE(status(&window), QStringLiteral("执行脚本成功"));
        QCOMPARE(text(&window, "textEdit_IccInfo"),
                 QStringLiteral("ScriptResult：DF31052000000000\nTC：<TC>"));
        // The script step writes neither of its input fields.
        QCOMPARE(text(&window, "lineEdit_ARPC"), QStringLiteral("A1B2C3D4E5F60718 "));
        QCOMPARE(text(&window, "lineEdit_TrAppData"), QStringLiteral("9f2608aa"));
    }

    void scriptWithEmptyFieldsAndEmptyAnswers()
    {
        MainWindow window;
        fakedevice::script("IccARPCExeScript", {0, {}, {}});
        click(&window, "pushButton_8");
        const QVariantList args = fakedevice::lastArgs("IccARPCExeScript");
        QCOMPARE(args.value(2), QVariant(QByteArray("")));
        QCOMPARE(args.value(3), QVariant(QByteArray("")));
        QCOMPARE(text(&window, "textEdit_IccInfo"), QStringLiteral("ScriptResult：\nTC："));
    }

    void logsAreShownUnderOnePrefix_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("success");
        QTest::addColumn<QString>("failure");
        QTest::newRow("transactions")
            << "pushButton_9" << QByteArray("IccGetTrDetail") << "读交易明细成功"
            << "读交易明细失败，错误代码：";
        QTest::newRow("loads") << "pushButton_10" << QByteArray("IccGetLoadDetail")
                               << "读圈存记录成功"
                               << "读圈存记录失败，错误代码：";
    }

    void logsAreShownUnderOnePrefix()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, entry);
        QFETCH(QString, success);
        QFETCH(QString, failure);
        const QByteArray buttonName = button.toLatin1();
        MainWindow window;

        fakedevice::script(entry, {0, {"1. 日期 260309<br>\r\n2. 日期 260228"}, {}});
        click(&window, buttonName);
        QCOMPARE(fakedevice::lastArgs(entry),
                 (QVariantList{qint64(2), QByteArray(""), true, qint64(0)}));
        QCOMPARE(status(&window), success);
        QCOMPARE(text(&window, "textEdit_IccInfo"),
                 QStringLiteral("TxDetail：1. 日期 260309<br>\n2. 日期 260228"));

        fakedevice::script(entry, {0, {}, {}});
        click(&window, buttonName);
        QCOMPARE(text(&window, "textEdit_IccInfo"), QStringLiteral("TxDetail："));

        fakedevice::script(entry, {0, {QByteArray(4096, 'r')}, {}});
        click(&window, buttonName);
        QCOMPARE(text(&window, "textEdit_IccInfo"),
                 QStringLiteral("TxDetail：") + QString(4096, 'r'));

        fakedevice::script(entry, {-41, {"ignored"}, {}});
        click(&window, buttonName);
        QCOMPARE(status(&window), failure + "-41");
        QCOMPARE(text(&window, "textEdit_IccInfo"),
                 QStringLiteral("TxDetail：") + QString(4096, 'r'));
    }

    void failuresKeepEveryOutput_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("card data") << "pushButton_6" << QByteArray("IccGetCardInfo") << qint64(-30)
                                   << "读取银行卡信息失败，错误代码：-30";
        QTest::newRow("arqc") << "pushButton_7" << QByteArray("IccGetARQC") << qint64(-31)
                              << "获取ARQC失败，错误代码：-31";
        QTest::newRow("arqc positive") << "pushButton_7" << QByteArray("IccGetARQC") << qint64(7)
                                       << "获取ARQC失败，错误代码：7";
        QTest::newRow("script") << "pushButton_8" << QByteArray("IccARPCExeScript")
                                << std::numeric_limits<qint64>::min()
                                << "执行脚本失败，错误代码：-9223372036854775808";
    }

    void failuresKeepEveryOutput()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, entry);
        QFETCH(qint64, code);
        QFETCH(QString, expected);
        MainWindow window;
        setText(&window, "textEdit_IccInfo", "earlier");
        setText(&window, "lineEdit_TrAppData", "kept");
        fakedevice::script(entry, {code, {"not shown", "not shown"}, {}});
        click(&window, button.toLatin1());
        QCOMPARE(status(&window), expected);
        QCOMPARE(text(&window, "textEdit_IccInfo"), QStringLiteral("earlier"));
        QCOMPARE(text(&window, "lineEdit_TrAppData"), QStringLiteral("kept"));
        QCOMPARE(fakedevice::callsOf(entry).size(), 1);
    }
};

QTEST_MAIN(TestBank)
#include "tst_bank.moc"

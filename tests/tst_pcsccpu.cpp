// The CPU卡 and 内部测试 tabs through the real window and our device library
// on virtual cards behind a real pcscd: the user card in "Virtual PCD 00 00",
// the first PSAM in "Virtual PCD 00 01". Every response must be the simulated
// card's own, byte for byte, as pcscd carried it.
#include "pcsc/pcscwindow.h"
#include "simulatedcard.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QtTest>

using namespace windowtest;

namespace {

QString hexOf(const sim::Bytes &bytes)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()))
            .toHex()
            .toUpper());
}

// The responses of a freshly reset simulated card of this kind to the
// commands, in hexadecimal.
QStringList simulatedResponses(sim::CardKind kind, const QStringList &commands)
{
    std::unique_ptr<sim::SimulatedCard> card = sim::makeCard(kind);
    card->reset();
    QStringList responses;
    for (const QString &hex : commands) {
        const QByteArray command = QByteArray::fromHex(hex.toLatin1());
        responses << hexOf(card->respond(reinterpret_cast<const unsigned char *>(command.data()),
                                         std::size_t(command.size())));
    }
    return responses;
}

QString simulatedAtr(sim::CardKind kind)
{
    return hexOf(sim::makeCard(kind)->answerToReset());
}

void chooseSlot(MainWindow &window, const QString &slot)
{
    setText(&window, "comboBox_Slot", slot);
}

} // namespace

class TestPcscCpu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindSimulator();
    }
    void cleanup() { QCOMPARE(takeWarnings(), QStringList()); }

    void portParameterChoosesTheReader_data()
    {
        QTest::addColumn<QString>("portPara");
        QTest::addColumn<QString>("openStatus");
        QTest::addColumn<QString>("atr");
        const QString user = simulatedAtr(sim::CardKind::User);
        QTest::newRow("empty: the first reader with a card") << ""
                                                             << "" << user;
        QTest::newRow("by a part of its name") << "PCD 00 01"
                                               << "" << simulatedAtr(sim::CardKind::Psam1);
        QTest::newRow("no reader matches")
            << "Reader 9" << QStringLiteral("打开设备失败，错误代码：-92") << QString();
    }

    void portParameterChoosesTheReader()
    {
        QFETCH(QString, portPara);
        QFETCH(QString, openStatus);
        QFETCH(QString, atr);
        MainWindow window;
        pcscwindow::open(window, portPara);
        if (!openStatus.isEmpty()) {
            QCOMPARE(status(&window), openStatus);
            return;
        }
        QVERIFY(status(&window).startsWith(QStringLiteral("打开设备成功，设备句柄：")));
        chooseSlot(window, QStringLiteral("01"));
        click(&window, "pushButton_18");
        QCOMPARE(status(&window), QStringLiteral("CPU卡上电成功"));
        QCOMPARE(text(&window, "lineEdit_ATRS"), atr);
        click(&window, "action_2");
    }

    // Each row powers the card on in the slot and sends the commands; every
    // response reaches the tab unchanged, 61xx and 6Cxx included.
    void apdusReachTheTabAsOnTheWire_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("lastStatusWord");
        const QString select = QStringLiteral("00A4040008A000000333010101");
        QTest::newRow("select with Le") << "01" << QStringList{select + "00"} << "9000";
        QTest::newRow("without Le: 61xx, no GET RESPONSE") << "41" << QStringList{select} << "61";
        QTest::newRow("GET RESPONSE after 61xx")
            << "01" << QStringList{select, QStringLiteral("00C0000000")} << "9000";
        QTest::newRow("wrong Le: 6Cxx, no resend") << "42" << QStringList{select + "01"} << "6C";
        QTest::newRow("case 1, no data")
            << "01" << QStringList{QStringLiteral("00A4000C")} << "9000";
        QTest::newRow("unknown instruction")
            << "01" << QStringList{QStringLiteral("00FE000000")} << "6D00";
    }

    void apdusReachTheTabAsOnTheWire()
    {
        QFETCH(QString, slot);
        QFETCH(QStringList, commands);
        QFETCH(QString, lastStatusWord);
        MainWindow window;
        pcscwindow::open(window, QStringLiteral("Virtual PCD 00 00"));
        chooseSlot(window, slot);
        click(&window, "pushButton_18");
        QCOMPARE(status(&window), QStringLiteral("CPU卡上电成功"));
        QCOMPARE(text(&window, "lineEdit_ATRS"), simulatedAtr(sim::CardKind::User));
        const QStringList expected = simulatedResponses(sim::CardKind::User, commands);
        for (int i = 0; i < commands.size(); ++i) {
            setText(&window, "comboBox_SendApdu", commands.at(i));
            click(&window, "pushButton_19");
            QCOMPARE(status(&window), QStringLiteral("CPU卡发送APDU成功"));
            QCOMPARE(text(&window, "textEdit_RecvApdu"), expected.at(i));
        }
        QCOMPARE(expected.last().right(4).left(lastStatusWord.size()), lastStatusWord);

        click(&window, "pushButton_20");
        QCOMPARE(status(&window), QStringLiteral("CPU卡下电成功"));
        click(&window, "pushButton_19");
        QCOMPARE(status(&window), QStringLiteral("CPU卡发送APDU失败，错误代码：-71"));
        click(&window, "action_2");
    }

    void psamSlotsAreFurtherReaders_data()
    {
        QTest::addColumn<QString>("extendPara");
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QString>("expectedStatus");
        QTest::newRow("named by the extended parameter") << "Virtual PCD 00 01"
                                                         << "11" << QStringLiteral("CPU卡上电成功");
        QTest::newRow("second PSAM not named")
            << "Virtual PCD 00 01"
            << "12" << QStringLiteral("CPU卡上电失败，错误代码：-94");
        QTest::newRow("the main reader is never a PSAM")
            << ";PCD 00 00"
            << "12" << QStringLiteral("CPU卡上电失败，错误代码：-94");
        QTest::newRow("no reader named SAM")
            << ""
            << "11" << QStringLiteral("CPU卡上电失败，错误代码：-94");
        QTest::newRow("no such slot") << ""
                                      << "02" << QStringLiteral("CPU卡上电失败，错误代码：-70");
    }

    void psamSlotsAreFurtherReaders()
    {
        QFETCH(QString, extendPara);
        QFETCH(QString, slot);
        QFETCH(QString, expectedStatus);
        MainWindow window;
        pcscwindow::open(window, QStringLiteral("Virtual PCD 00 00"), extendPara);
        chooseSlot(window, slot);
        click(&window, "pushButton_18");
        QCOMPARE(status(&window), expectedStatus);
        if (expectedStatus.endsWith(QStringLiteral("成功")))
            QCOMPARE(text(&window, "lineEdit_ATRS"), simulatedAtr(sim::CardKind::Psam1));
        click(&window, "action_2");
    }

    void diagnosticsDescribeTheReader_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("expectedStatus");
        QTest::addColumn<QString>("info");
        QTest::newRow("connection") << "pushButton_22" << QStringLiteral("设备连接状态正常")
                                    << QStringLiteral("设备连接状态正常");
        QTest::newRow("model is the reader's name")
            << "pushButton_23" << QStringLiteral("读取设备型号成功") << "Virtual PCD 00 00";
        // vpcd's driver reports neither its vendor nor its version.
        QTest::newRow("versions, said plainly when not reported")
            << "pushButton_24" << QStringLiteral("读取固件版本号成功")
            << QStringLiteral(
                   "固件版本：读卡器未报告厂商与固件版本\n硬件版本：读卡器未报告硬件型号");
        QTest::newRow("no security module")
            << "pushButton_25" << QStringLiteral("读取SAM模块号失败，错误代码：-94") << QString();
        QTest::newRow("nor on the other route")
            << "pushButton_28" << QStringLiteral("获取SAM模块状态失败，错误代码：-94") << QString();
        QTest::newRow("magnetic stripe is simulated only")
            << "pushButton_16" << QStringLiteral("读取磁条卡失败，错误代码：-94") << QString();
        QTest::newRow("QR code is simulated only")
            << "pushButton_21" << QStringLiteral("读取二维码失败，错误代码：-94") << QString();
    }

    void diagnosticsDescribeTheReader()
    {
        QFETCH(QString, button);
        QFETCH(QString, expectedStatus);
        QFETCH(QString, info);
        MainWindow window;
        pcscwindow::open(window, QString());
        click(&window, qPrintable(button));
        QCOMPARE(status(&window), expectedStatus);
        if (!info.isEmpty())
            QCOMPARE(text(&window, "textEdit_TestInfo"), info);
        click(&window, "action_2");
    }
};

QTEST_MAIN(TestPcscCpu)
#include "tst_pcsccpu.moc"

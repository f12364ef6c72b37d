// The simulated reader's fault scenarios, chosen in the connection dialog's
// extended parameter and seen in the tabs of the real window.
#include "mainwindow.h"
#include "windowtest.h"

#include <QPushButton>
#include <QtTest>

using namespace windowtest;

namespace {

// Opens the reader through the real dialog with its defaults and these words
// as the extended parameter.
void openWith(MainWindow &window, const QString &words)
{
    onNextModal([words](QWidget *dialog) {
        setText(dialog, "lineEdit_ExtendPara", words);
        child<QPushButton>(dialog, "pushButton")->click();
    });
    click(&window, "action");
}

const QString opened = QStringLiteral("打开设备成功，设备句柄：");

} // namespace

class TestSimScenarios : public QObject
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

    void extendedParameterNamesScenarios_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("blanks") << "  " << true;
        QTest::newRow("every word") << "nocard slow removed unplug busy" << true;
        QTest::newRow("commas, any case") << "NoCard,Busy, slow" << true;
        QTest::newRow("typo") << "nocard slwo" << false;
        QTest::newRow("other separator") << "nocard;busy" << false;
        QTest::newRow("a transport's text") << "USB" << false;
    }

    // A word that names no scenario is refused at once with its own code.
    void extendedParameterNamesScenarios()
    {
        QFETCH(QString, words);
        QFETCH(bool, accepted);
        MainWindow window;
        openWith(window, words);
        if (accepted) {
            QVERIFY2(status(&window).startsWith(opened), qPrintable(status(&window)));
        } else {
            QCOMPARE(status(&window), QStringLiteral("打开设备失败，错误代码：-19"));
            QCOMPARE(pTerminalHeartBeat(), qint64(-1));
        }
    }

    // Steps are button names, or "open:WORDS" to open the reader again.
    void scenarioShowsInTheTabs_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("lastStatus");
        const QStringList nocard{"open:nocard"};
        const QStringList removed{"open:removed"};
        const QStringList unplug{"open:unplug"};
        const QStringList busy{"open:busy"};
        QTest::newRow("nocard identity")
            << nocard + QStringList{"pushButton"} << "读取证件信息失败，错误代码：-20";
        QTest::newRow("nocard identity serial")
            << nocard + QStringList{"pushButton_3"} << "读二代证卡体管理号SN失败，错误代码：-20";
        QTest::newRow("nocard bank")
            << nocard + QStringList{"pushButton_6"} << "读取银行卡信息失败，错误代码：-20";
        QTest::newRow("nocard social security")
            << nocard + QStringList{"pushButton_11"}
            << "读取社保卡信息失败，错误代码：-20  未检测到卡片";
        QTest::newRow("nocard M1")
            << nocard + QStringList{"pushButton_12"} << "M1卡寻卡失败，错误代码：-20";
        QTest::newRow("nocard magstripe")
            << nocard + QStringList{"pushButton_16"} << "读取磁条卡失败，错误代码：-20";
        QTest::newRow("nocard CPU")
            << nocard + QStringList{"pushButton_18"} << "CPU卡上电失败，错误代码：-20";
        QTest::newRow("nocard, QR still scans")
            << nocard + QStringList{"pushButton_21"} << "读取二维码成功";
        QTest::newRow("nocard, module still answers")
            << nocard + QStringList{"pushButton_25"} << "读取SAM模块号成功";
        QTest::newRow("removed after the block read")
            << removed
                   + QStringList{"pushButton_12", "pushButton_13", "pushButton_14", "pushButton_14"}
            << "M1卡读块数据失败，错误代码：-23";
        QTest::newRow("removed, not before a read")
            << removed + QStringList{"pushButton_12", "pushButton_13", "pushButton_14"}
            << "M1卡读块数据成功";
        QTest::newRow("removed identity") << removed + QStringList{"pushButton", "pushButton_2"}
                                          << "读取证件信息失败，错误代码：-23";
        QTest::newRow("removed during a transaction")
            << removed + QStringList{"pushButton_6", "pushButton_7"}
            << "获取ARQC失败，错误代码：-23";
        QTest::newRow("removed, only that card")
            << removed + QStringList{"pushButton", "pushButton_12"} << "M1卡寻卡成功";
        QTest::newRow("removed, swiped again")
            << removed + QStringList{"pushButton_16", "pushButton_16"} << "读取磁条卡成功";
        QTest::newRow("removed, back after reopening")
            << removed + QStringList{"pushButton", "open:removed", "pushButton"}
            << "读取证件信息成功";
        QTest::newRow("unplug, three calls answered")
            << unplug + QStringList{"pushButton_22", "pushButton_23", "pushButton_24"}
            << "读取固件版本号成功";
        QTest::newRow("unplug, fourth call")
            << unplug
                   + QStringList{"pushButton_22", "pushButton_23", "pushButton_24", "pushButton_22"}
            << "设备连接状态异常，错误代码：-4";
        QTest::newRow("unplug, every operation")
            << unplug
                   + QStringList{"pushButton_21", "pushButton_21", "pushButton_21", "pushButton_21"}
            << "读取二维码失败，错误代码：-4";
        QTest::newRow("unplug, social security explains")
            << unplug
                   + QStringList{"pushButton_22", "pushButton_22", "pushButton_22", "pushButton_11"}
            << "读取社保卡信息失败，错误代码：-4  设备未连接";
        QTest::newRow("unplug, healthy after reopening without it")
            << unplug + QStringList{"pushButton_22", "pushButton_22", "pushButton_22",
                                    "open:",         "pushButton_22", "pushButton_22",
                                    "pushButton_22", "pushButton_22"}
            << "设备连接状态正常";
        QTest::newRow("busy status")
            << busy + QStringList{"pushButton_26"} << "获取SAM模块状态失败，错误代码：-85";
        QTest::newRow("busy GA467 identity")
            << busy + QStringList{"pushButton_27"} << "读取SAM模块号失败，错误代码：-85";
        QTest::newRow("busy identity read")
            << busy + QStringList{"pushButton_2"} << "读取证件信息失败，错误代码：-85";
        QTest::newRow("busy, reader answers")
            << busy + QStringList{"pushButton_22"} << "设备连接状态正常";
        QTest::newRow("busy, M1 answers") << busy + QStringList{"pushButton_12"} << "M1卡寻卡成功";
        QTest::newRow("busy and nocard")
            << QStringList{"open:busy,nocard", "pushButton_12"} << "M1卡寻卡失败，错误代码：-20";
    }

    void scenarioShowsInTheTabs()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, lastStatus);
        MainWindow window;
        for (const QString &step : steps) {
            if (step.startsWith(QLatin1String("open:"))) {
                openWith(window, step.mid(5));
                QVERIFY2(status(&window).startsWith(opened), qPrintable(status(&window)));
            } else {
                click(&window, step.toLatin1().constData());
            }
        }
        QCOMPARE(status(&window), lastStatus);
    }

    // A slow reader takes about a second for an identity read, and a swipe
    // waits the whole timeout typed in the tab (1 s here) before the card
    // comes; a timeout of 0 still answers at once.
    void slowReaderTakesItsTime()
    {
        MainWindow window;
        openWith(window, QStringLiteral("slow"));
        QElapsedTimer clock;

        clock.start();
        click(&window, "pushButton");
        QCOMPARE(status(&window), QStringLiteral("读取证件信息成功"));
        QVERIFY(clock.elapsed() >= 1000);

        setText(&window, "lineEdit_MagTimeOut", "1");
        clock.restart();
        click(&window, "pushButton_16");
        QCOMPARE(status(&window), QStringLiteral("读取磁条卡成功"));
        QVERIFY(clock.elapsed() >= 1000);
        QVERIFY2(clock.elapsed() < 3000, "waited longer than the timeout");

        setText(&window, "lineEdit_MagTimeOut", "0");
        clock.restart();
        click(&window, "pushButton_16");
        QCOMPARE(status(&window), QStringLiteral("读取磁条卡失败，错误代码：-21"));
        QVERIFY(clock.elapsed() < 500);
    }
};

QTEST_MAIN(TestSimScenarios)
#include "tst_simscenarios.moc"

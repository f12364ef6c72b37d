// Faults in the middle of a session with our device library on the user card
// behind a real pcscd in "Virtual PCD 00 00": pcscd stopped, the reader gone
// from pcscd's list, the card removed. Each gives its code and a clear status
// line within a few seconds, and the library recovers once the fault is gone.
// The pcscd cases need the fixture's own pcscd (as root); with another
// pcscd running they are skipped.
#include "pcsc/pcscwindow.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace windowtest;

namespace {
const QString selectWithLe = QStringLiteral("00A4040008A00000033301010100");

// Clicks and checks that the operation answered within two seconds.
void clickBriefly(MainWindow &window, const char *button)
{
    QElapsedTimer timer;
    timer.start();
    click(&window, button);
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
}

// Sends the APDU until the status is the expected one, for up to 5 s: pcscd
// notices a change of its readers when it next polls them.
QString apduUntil(MainWindow &window, const QString &expected)
{
    setText(&window, "comboBox_SendApdu", selectWithLe);
    for (int attempt = 0; attempt < 50; ++attempt) {
        click(&window, "pushButton_19");
        if (status(&window) == expected)
            break;
        QTest::qWait(100);
    }
    return status(&window);
}

void powerOnUntil(MainWindow &window, const QString &expected)
{
    for (int attempt = 0; attempt < 100 && status(&window) != expected; ++attempt) {
        if (attempt > 0)
            QTest::qWait(100);
        click(&window, "pushButton_18");
    }
}
} // namespace

class TestPcscFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindSimulator();
    }
    void cleanup() { QCOMPARE(takeWarnings(), QStringList()); }

    void pcscdStoppedAndReaderGoneThenBack()
    {
        MainWindow window;
        pcscwindow::open(window, QStringLiteral("Virtual PCD 00 00"));
        setText(&window, "comboBox_Slot", QStringLiteral("01"));
        click(&window, "pushButton_18");
        QCOMPARE(status(&window), QStringLiteral("CPU卡上电成功"));

        const int paused = pcscwindow::fixture({QStringLiteral("pause")});
        if (paused == 77)
            QSKIP("the running pcscd is not the fixture's own");
        QCOMPARE(paused, 0);
        setText(&window, "comboBox_SendApdu", selectWithLe);
        clickBriefly(window, "pushButton_19");
        QCOMPARE(status(&window), QStringLiteral("CPU卡发送APDU失败，错误代码：-90"));
        clickBriefly(window, "pushButton_22");
        QCOMPARE(status(&window), QStringLiteral("设备连接状态异常，错误代码：-90"));
        QCOMPARE(text(&window, "textEdit_TestInfo"), QStringLiteral("设备未连接或状态异常"));
        clickBriefly(window, "pushButton_18");
        QCOMPARE(status(&window), QStringLiteral("CPU卡上电失败，错误代码：-90"));

        // pcscd back without any reader: the one the device was opened on is gone.
        QTemporaryDir noReaders;
        QCOMPARE(pcscwindow::fixture({QStringLiteral("resume"), noReaders.path()}), 0);
        clickBriefly(window, "pushButton_22");
        QCOMPARE(status(&window), QStringLiteral("设备连接状态异常，错误代码：-24"));
        clickBriefly(window, "pushButton_18");
        QCOMPARE(status(&window), QStringLiteral("CPU卡上电失败，错误代码：-24"));
        click(&window, "action_2");
        pcscwindow::open(window, QString());
        QCOMPARE(status(&window), QStringLiteral("打开设备失败，错误代码：-91"));

        // pcscd as before: the card is found again without opening the device anew.
        QCOMPARE(pcscwindow::fixture({QStringLiteral("pause")}), 0);
        QCOMPARE(pcscwindow::fixture({QStringLiteral("resume")}), 0);
        pcscwindow::open(window, QStringLiteral("Virtual PCD 00 00"));
        powerOnUntil(window, QStringLiteral("CPU卡上电成功"));
        QCOMPARE(status(&window), QStringLiteral("CPU卡上电成功"));
        click(&window, "action_2");
    }

    void cardRemovedMidSession()
    {
        MainWindow window;
        pcscwindow::open(window, QStringLiteral("Virtual PCD 00 00"));
        setText(&window, "comboBox_Slot", QStringLiteral("01"));
        powerOnUntil(window, QStringLiteral("CPU卡上电成功"));
        QCOMPARE(status(&window), QStringLiteral("CPU卡上电成功"));

        const QByteArrayList cards = qgetenv("VIRTUALCARD_PIDS").split(' ');
        QVERIFY(!cards.first().isEmpty());
        QCOMPARE(::kill(cards.first().toInt(), SIGTERM), 0);
        QCOMPARE(apduUntil(window, QStringLiteral("CPU卡发送APDU失败，错误代码：-23")),
                 QStringLiteral("CPU卡发送APDU失败，错误代码：-23"));
        clickBriefly(window, "pushButton_18");
        QCOMPARE(status(&window), QStringLiteral("CPU卡上电失败，错误代码：-20"));
        click(&window, "pushButton_12");
        QCOMPARE(status(&window), QStringLiteral("M1卡寻卡失败，错误代码：-50"));
        clickBriefly(window, "pushButton_22");
        QCOMPARE(status(&window), QStringLiteral("设备连接状态正常"));
        click(&window, "action_2");
    }
};

QTEST_MAIN(TestPcscFaults)
#include "tst_pcscfaults.moc"

// The connection dialog and the tool bar actions that open, close and clear.
#include "dialog.h"
#include "fakedevice.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

using namespace windowtest;

namespace {
QStringList dialogFields(const QObject *dialog)
{
    return {text(dialog, "lineEdit_PortType"), text(dialog, "lineEdit_PortPara"),
            text(dialog, "lineEdit_ExtendPara"), text(dialog, "label_PortType"),
            text(dialog, "label_PortPara"), text(dialog, "label_ExtendPara")};
}

QVariantList openArgs(const char *type, const char *para, const char *extend)
{
    return {QByteArray(type), QByteArray(para), QByteArray(extend)};
}
} // namespace

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindLoadedLibrary();
    }
    void init() { fakedevice::reset(); }
    void cleanup()
    {
        QCOMPARE(takeWarnings(), QStringList());
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    }

    void dialogStartsWithSerialDefaults()
    {
        Dialog dialog;
        QCOMPARE(dialog.objectName(), QStringLiteral("Dialog"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("端口选择"));
        QCOMPARE(dialog.size(), QSize(418, 300));
        QCOMPARE(dialog.Result, -1);
        QVERIFY(dialog.PortType.isEmpty() && dialog.PortPara.isEmpty() && dialog.ExtendPara.isEmpty());
        QVERIFY(child<QRadioButton>(&dialog, "radioButton_com")->isChecked());
        QCOMPARE(dialogFields(&dialog),
                 (QStringList{"COM/dev/ttyS3", "115200", "", "（串口号）", "（波特率）", "（扩展盒）"}));
        QCOMPARE(text(&dialog, "label"), QStringLiteral("通讯方式："));
        QCOMPARE(text(&dialog, "label_2"), QStringLiteral("端口类型："));
        QCOMPARE(text(&dialog, "label_3"), QStringLiteral("端口参数："));
        QCOMPARE(text(&dialog, "label_4"), QStringLiteral("扩展参数："));
        QCOMPARE(text(&dialog, "pushButton"), QStringLiteral("连接设备"));
        QCOMPARE(text(&dialog, "radioButton_com"), QStringLiteral("串口"));
        QCOMPARE(text(&dialog, "radioButton_usb"), QStringLiteral("USB"));
        QCOMPARE(text(&dialog, "radioButton_bth"), QStringLiteral("蓝牙"));
        QCOMPARE(text(&dialog, "radioButton_skt"), QStringLiteral("网口"));
    }

    void transportWritesItsDefaults_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("serial") << "radioButton_com"
                                << QStringList{"COM/dev/ttyS3", "115200", "", "（串口号）",
                                               "（波特率）", "（扩展盒）"};
        QTest::newRow("usb") << "radioButton_usb"
                             << QStringList{"USB", "E4A50701", "", "（USB）", "（VID_PID）",
                                            "（传输方式）"};
        QTest::newRow("bluetooth") << "radioButton_bth"
                                   << QStringList{"BTH", "SR", "", "（BTH）", "（蓝牙名称）", "（无）"};
        QTest::newRow("socket") << "radioButton_skt"
                                << QStringList{"SKT", "127.0.0.1:8888", "", "（SKT）",
                                               "（IP:端口）", "（无）"};
    }

    void transportWritesItsDefaults()
    {
        QFETCH(QString, radio);
        QFETCH(QStringList, fields);
        Dialog dialog;
        // Typed values, the extended parameter included, give way to the
        // transport's defaults, also when its button was already checked.
        setText(&dialog, "lineEdit_PortPara", "typed");
        setText(&dialog, "lineEdit_ExtendPara", "typed");
        click(&dialog, radio.toLatin1().constData());
        QVERIFY(child<QRadioButton>(&dialog, radio.toLatin1().constData())->isChecked());
        QCOMPARE(dialogFields(&dialog), fields);
        click(&dialog, radio.toLatin1().constData());
        QCOMPARE(dialogFields(&dialog), fields);
    }

    void radioButtonsExcludeEachOther()
    {
        Dialog dialog;
        click(&dialog, "radioButton_bth");
        QVERIFY(!child<QRadioButton>(&dialog, "radioButton_com")->isChecked());
        QVERIFY(child<QRadioButton>(&dialog, "radioButton_bth")->isChecked());
    }

    void confirmCopiesTheFieldsExactly()
    {
        Dialog dialog;
        click(&dialog, "radioButton_skt");
        setText(&dialog, "lineEdit_PortPara", " 10.0.0.7:9000 ");
        click(&dialog, "pushButton");
        QCOMPARE(dialog.Result, 0);
        QCOMPARE(dialog.PortType, QStringLiteral("SKT"));
        QCOMPARE(dialog.PortPara, QStringLiteral(" 10.0.0.7:9000 "));
        QCOMPARE(dialog.ExtendPara, QString());
        QVERIFY(!dialog.isVisible());
    }

    void emptyFieldsAreAccepted()
    {
        Dialog dialog;
        for (const char *name : {"lineEdit_PortType", "lineEdit_PortPara", "lineEdit_ExtendPara"})
            setText(&dialog, name, QString());
        click(&dialog, "pushButton");
        QCOMPARE(dialog.Result, 0);
        QVERIFY(dialog.PortType.isEmpty() && dialog.PortPara.isEmpty() && dialog.ExtendPara.isEmpty());
    }

    void closingTheDialogCancelsWithoutCallingTheLibrary()
    {
        MainWindow window;
        onNextModal([](QWidget *dialog) {
            setText(dialog, "lineEdit_PortPara", "9600");
            dialog->close();
        });
        click(&window, "action");
        QCOMPARE(status(&window), QStringLiteral("已取消端口选择"));
        QVERIFY(fakedevice::calls().isEmpty());
        QVERIFY(!child<QTabWidget>(&window, "tabWidget")->isVisibleTo(&window));
    }

    void confirmedDefaultsOpenTheReader()
    {
        MainWindow window;
        fakedevice::script("OpenDevice", 7);
        confirmNextDialog();
        click(&window, "action");
        QCOMPARE(fakedevice::calls().size(), 1);
        QCOMPARE(fakedevice::lastArgs("OpenDevice"), openArgs("COM/dev/ttyS3", "115200", ""));
        QCOMPARE(status(&window), QStringLiteral("打开设备成功，设备句柄：7"));
        auto *tabs = child<QTabWidget>(&window, "tabWidget");
        QVERIFY(tabs->isVisibleTo(&window));
        QCOMPARE(tabs->currentIndex(), 0);
    }

    void editedStringsArePassedAsUtf8()
    {
        MainWindow window;
        fakedevice::script("OpenDevice", 1);
        onNextModal([](QWidget *dialog) {
            click(dialog, "radioButton_bth");
            setText(dialog, "lineEdit_PortPara", QStringLiteral("读卡器"));
            click(dialog, "pushButton");
        });
        click(&window, "action");
        QCOMPARE(fakedevice::lastArgs("OpenDevice"), openArgs("BTH", "读卡器", ""));
    }

    void failedOpenKeepsThePagesAsTheyWere_data()
    {
        QTest::addColumn<bool>("openBefore");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("zero is no handle") << false << qint64(0) << "打开设备失败，错误代码：0";
        QTest::newRow("negative after start") << false << qint64(-12) << "打开设备失败，错误代码：-12";
        QTest::newRow("second open fails") << true << qint64(-1) << "打开设备失败，错误代码：-1";
        QTest::newRow("most negative") << true << std::numeric_limits<qint64>::min()
                                       << "打开设备失败，错误代码：-9223372036854775808";
    }

    void failedOpenKeepsThePagesAsTheyWere()
    {
        QFETCH(bool, openBefore);
        QFETCH(qint64, code);
        QFETCH(QString, message);
        MainWindow window;
        auto *tabs = child<QTabWidget>(&window, "tabWidget");
        if (openBefore) {
            fakedevice::script("OpenDevice", 3);
            confirmNextDialog();
            click(&window, "action");
            QVERIFY(tabs->isVisibleTo(&window));
        }
        fakedevice::script("OpenDevice", code);
        confirmNextDialog();
        click(&window, "action");
        QCOMPARE(status(&window), message);
        QCOMPARE(tabs->isVisibleTo(&window), openBefore);
    }

    void closeHidesThePagesAndReopenKeepsTheCurrentPage()
    {
        MainWindow window;
        auto *tabs = child<QTabWidget>(&window, "tabWidget");
        fakedevice::script("OpenDevice", 2);
        confirmNextDialog();
        click(&window, "action");
        tabs->setCurrentIndex(5);

        click(&window, "action_2");
        QCOMPARE(status(&window), QStringLiteral("关闭设备成功"));
        QVERIFY(!tabs->isVisibleTo(&window));
        QVERIFY(fakedevice::lastArgs("CloseDevice").isEmpty());

        confirmNextDialog();
        click(&window, "action");
        QVERIFY(tabs->isVisibleTo(&window));
        QCOMPARE(tabs->currentIndex(), 5);
    }

    void failedCloseKeepsThePagesVisible()
    {
        MainWindow window;
        auto *tabs = child<QTabWidget>(&window, "tabWidget");
        fakedevice::script("OpenDevice", 2);
        confirmNextDialog();
        click(&window, "action");
        fakedevice::script("CloseDevice", -3);
        click(&window, "action_2");
        QCOMPARE(status(&window), QStringLiteral("关闭设备失败，错误代码：-3"));
        QVERIFY(tabs->isVisibleTo(&window));
    }

    void closeWhileNothingIsOpenStillAsksTheLibrary()
    {
        MainWindow window;
        fakedevice::script("CloseDevice", 1);
        click(&window, "action_2");
        QCOMPARE(fakedevice::callsOf("CloseDevice").size(), 1);
        QCOMPARE(status(&window), QStringLiteral("关闭设备失败，错误代码：1"));
    }

    void clearEmptiesOnlyTheStatusLine()
    {
        MainWindow window;
        setText(&window, "lineEdit_MagTrack1", "kept");
        click(&window, "action_3");
        QCOMPARE(status(&window), QString());
        QCOMPARE(text(&window, "lineEdit_MagTrack1"), QStringLiteral("kept"));
        QVERIFY(fakedevice::calls().isEmpty());
    }

    void missingEntryPointsAreReportedNotCalled()
    {
        MainWindow window;
        {
            const Unbound unbound(EntryPoint::OpenDevice);
            confirmNextDialog();
            click(&window, "action");
            QCOMPARE(status(&window), QStringLiteral("打开设备失败，接口库未导出OpenDevice"));
        }
        {
            const Unbound unbound(EntryPoint::CloseDevice);
            click(&window, "action_2");
            QCOMPARE(status(&window), QStringLiteral("关闭设备失败，接口库未导出CloseDevice"));
        }
        QVERIFY(fakedevice::calls().isEmpty());
    }
};

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"

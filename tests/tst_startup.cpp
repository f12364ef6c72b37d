// Start-up against libraries loaded for real: the error box when there is
// none, and a library that exports none of the 78 names.
#include "loader.h"
#include "mainwindow.h"
#include "startup.h"
#include "windowtest.h"

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QTabWidget>
#include <QtTest>

using namespace windowtest;

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installWarningCollector(); }
    void cleanup() { QCOMPARE(takeWarnings(), QStringList()); }

    void missingLibraryIsNotFoundBesideTheProgramOrInTheWorkingDirectory()
    {
        // The bare name is looked up on the loader's search path only.
        char path[] = "libCommonInterface.so";
        QVERIFY(!LoadCommonInterface(path));
        QVERIFY(!pOpenDevice);
    }

    void loadErrorBoxSaysWhatFailed()
    {
        QString title, message;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QList<QAbstractButton *> buttons;
        QAbstractButton *defaultButton = nullptr;
        onNextModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            title = box->windowTitle();
            message = box->text();
            icon = box->icon();
            buttons = box->buttons();
            defaultButton = box->defaultButton();
            QVERIFY(!box->parentWidget());
            box->button(QMessageBox::Ok)->click();
        });
        showLibraryLoadError();
        QCOMPARE(title, QStringLiteral("错误提示"));
        QCOMPARE(message, QStringLiteral("libCommonInterface.so加载失败"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons.size(), 1);
    }

    // Everything below runs on a library that opens but exports nothing.
    void libraryWithoutExportsStillLoads()
    {
        QByteArray path = qgetenv("EMPTY_DEVICE_DIR") + "/libCommonInterface.so";
        QVERIFY(LoadCommonInterface(path.data()));
        for (int i = 0; i < entryPointCount; ++i)
            QVERIFY(!isBound(static_cast<EntryPoint>(i)));
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!child<QTabWidget>(&window, "tabWidget")->isVisible());
    }

    void everyActionReportsItsMissingExport_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("message");
        auto row = [](const char *control, const char *message) {
            QTest::newRow(control) << control << QString::fromUtf8(message);
        };
        row("action_2", "关闭设备失败，接口库未导出CloseDevice");
        row("pushButton", "读取证件信息失败，接口库未导出IdReadCard");
        row("pushButton_2", "读取证件信息失败，接口库未导出SdtReadCard");
        row("pushButton_3", "读二代证卡体管理号SN失败，接口库未导出IdReadSn");
        row("pushButton_6", "读取银行卡信息失败，接口库未导出IccGetCardInfo");
        row("pushButton_7", "获取ARQC失败，接口库未导出IccGetARQC");
        row("pushButton_8", "执行脚本失败，接口库未导出IccARPCExeScript");
        row("pushButton_9", "读交易明细失败，接口库未导出IccGetTrDetail");
        row("pushButton_10", "读圈存记录失败，接口库未导出IccGetLoadDetail");
        row("pushButton_11", "读取社保卡信息失败，接口库未导出SsseReadCard");
        row("pushButton_12", "M1卡寻卡失败，接口库未导出M1FindCard");
        row("pushButton_13", "M1卡密钥认证失败，接口库未导出M1Authentication");
        row("pushButton_14", "M1卡读块数据失败，接口库未导出M1ReadBlock");
        row("pushButton_15", "M1卡写块数据失败，接口库未导出M1WriteBlock");
        row("pushButton_16", "读取磁条卡失败，接口库未导出MagRead");
        row("pushButton_17", "写入磁条卡失败，接口库未导出MagWrite");
        row("pushButton_18", "CPU卡上电失败，接口库未导出CpuPowerOn");
        row("pushButton_19", "CPU卡发送APDU失败，接口库未导出CpuApdu");
        row("pushButton_20", "CPU卡下电失败，接口库未导出CpuPowerOff");
        row("pushButton_21", "读取二维码失败，接口库未导出QrRead");
        row("pushButton_22", "设备连接状态异常，接口库未导出TerminalHeartBeat");
        row("pushButton_23", "读取设备型号失败，接口库未导出TerminalGetModel");
        row("pushButton_24", "读取固件版本号失败，接口库未导出TerminalGetFirmVersion");
        row("pushButton_25", "读取SAM模块号失败，接口库未导出SamGetIdStr");
        row("pushButton_27", "读取SAM模块号失败，接口库未导出SdtSamGetIdStr");
        row("pushButton_26", "获取SAM模块状态失败，接口库未导出SamGetStatus");
        row("pushButton_28", "获取SAM模块状态失败，接口库未导出SdtSamGetStatus");
    }

    void everyActionReportsItsMissingExport()
    {
        QFETCH(QString, control);
        QFETCH(QString, message);
        MainWindow window;
        click(&window, control.toLatin1().constData());
        QCOMPARE(status(&window), message);
    }

    void openReportsItsMissingExportAfterTheDialog()
    {
        MainWindow window;
        confirmNextDialog();
        click(&window, "action");
        QCOMPARE(status(&window), QStringLiteral("打开设备失败，接口库未导出OpenDevice"));
        QVERIFY(!child<QTabWidget>(&window, "tabWidget")->isVisibleTo(&window));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"

// The main window as the operator first sees it: every widget by object name
// with its caption, start text and state, the tool bar, the slots.
#include "mainwindow.h"
#include "windowtest.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QtTest>

using namespace windowtest;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindLoadedLibrary();
    }
    void cleanup() { QCOMPARE(takeWarnings(), QStringList()); }

    void showsOnlyToolBarAndStatusLineAtStart()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Tevrano标准化接口Demo程序 V3.11"));
        QCOMPARE(window.size(), QSize(543, 439));
        QVERIFY(!child<QTabWidget>(&window, "tabWidget")->isVisible());
        QCOMPARE(status(&window), QStringLiteral("提示信息：请先点击\u201D打开设备\u201C"));
        // Status texts carry library text (the social security error text):
        // markup in it is shown as written.
        QCOMPARE(child<QLabel>(&window, "label_Tip")->textFormat(), Qt::PlainText);
        QVERIFY(child<QMenuBar>(&window, "menuBar")->actions().isEmpty());
        QVERIFY(!window.findChild<QStatusBar *>());
    }

    void isCentredOnTheDesktop()
    {
        // The offscreen platform's screen is 800 × 600 under Qt 5, 800 × 800
        // under Qt 6.
        const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
        QVERIFY(desktop.width() > 543 && desktop.height() > 439);
        MainWindow window;
        QCOMPARE(window.pos(), QPoint((desktop.width() - 543) / 2, (desktop.height() - 439) / 2));
    }

    void toolBarHoldsTheThreeActionsInOrder()
    {
        MainWindow window;
        auto *toolBar = child<QToolBar>(&window, "toolBar");
        QCOMPARE(toolBar->windowTitle(), QStringLiteral("toolBar"));
        QVERIFY(!toolBar->isMovable());
        QVERIFY(toolBar->isFloatable());
        QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);
        const QList<QAction *> actions = toolBar->actions();
        QCOMPARE(actions.size(), 3);
        const QStringList names{"action", "action_2", "action_3"};
        const QStringList texts{"打开设备", "关闭设备", "清空提示"};
        const QStringList tips{"与设备建立通讯连接", "断开与设备的通讯连接",
                               "清空窗口底部的提示信息"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(actions[i]->objectName(), names[i]);
            QCOMPARE(actions[i]->text(), texts[i]);
            QCOMPARE(actions[i]->toolTip(), tips[i]);
            QVERIFY(actions[i]->icon().isNull());
            QVERIFY(actions[i]->shortcut().isEmpty());
        }
    }

    void pagesAreInOrderWithTheFirstCurrent()
    {
        MainWindow window;
        auto *tabs = child<QTabWidget>(&window, "tabWidget");
        const QStringList pages{"tab", "tab_2", "tab_3", "tab_4", "tab_5", "tab_6", "tab_7", "tab_8"};
        const QStringList titles{"二代证", "银行卡", "社保卡", "M1卡", "磁条卡", "CPU卡", "二维码", "内部测试"};
        QCOMPARE(tabs->count(), 8);
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(tabs->widget(i)->objectName(), pages[i]);
            QCOMPARE(tabs->tabText(i), titles[i]);
        }
        QCOMPARE(tabs->currentIndex(), 0);
    }

    void widgetStartsAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("startText");
        QTest::addColumn<bool>("enabled");

        auto row = [](const char *name, const char *page, const char *text, bool enabled = true) {
            QTest::newRow(name) << name << page << QString::fromUtf8(text) << enabled;
        };
        // Captions.
        row("label", "tab", "姓名");
        row("label_2", "tab", "性别");
        row("label_3", "tab", "民族");
        row("label_4", "tab", "出生");
        row("label_5", "tab", "住址");
        row("label_6", "tab", "身份号码");
        row("label_7", "tab", "签发机关");
        row("label_8", "tab", "有效期限");
        row("label_10", "tab_2", "标签参考：");
        row("label_11", "tab_2", "标签：");
        row("label_12", "tab_2", "交易数据：");
        row("label_13", "tab_2", "交易应用数据：");
        row("label_14", "tab_2", "ARPC：");
        row("label_15", "tab_2", "返回信息：");
        row("label_16", "tab_3", "卡号：");
        row("label_17", "tab_3", "身份证号码：");
        row("label_18", "tab_3", "卡类别：");
        row("label_19", "tab_3", "姓名：");
        row("label_20", "tab_3", "性别：");
        row("label_21", "tab_3", "规范版本：");
        row("label_22", "tab_3", "民族：");
        row("label_23", "tab_3", "发卡日期：");
        row("label_24", "tab_3", "出生地：");
        row("label_25", "tab_3", "卡有效期：");
        row("label_26", "tab_3", "出生日期：");
        row("label_27", "tab_3", "初始化机构编号：");
        row("label_29", "tab_3", "卡识别码：");
        row("label_28", "tab_4", "UID：");
        row("label_30", "tab_4", "扇区：");
        row("label_31", "tab_4", "密钥：");
        row("label_32", "tab_4", "块号：");
        row("label_33", "tab_4", "块数据：");
        row("label_34", "tab_4", "块数据：");
        row("label_35", "tab_5", "磁道号：");
        row("label_36", "tab_5", "刷卡超时（秒）：");
        row("label_37", "tab_5", "一磁道信息：");
        row("label_38", "tab_5", "二磁道信息：");
        row("label_39", "tab_5", "三磁道信息：");
        row("label_40", "tab_6", "卡槽号：");
        row("label_41", "tab_6", "复位信息：");
        row("label_42", "tab_6", "发送数据：");
        row("label_43", "tab_6", "返回数据：");
        row("label_44", "tab_7", "扫码超时（秒）：");
        row("label_45", "tab_7", "二维码信息：");
        row("label_46", "tab_8", "返回信息：");
        // Buttons.
        row("pushButton", "tab", "读取 二代证 / 外国人 / 港澳台");
        row("pushButton_2", "tab", "GA467");
        row("pushButton_3", "tab", "SN8");
        row("pushButton_6", "tab_2", "读银行卡");
        row("pushButton_7", "tab_2", "获取ARQC");
        row("pushButton_8", "tab_2", "执行脚本");
        row("pushButton_9", "tab_2", "读交易明细");
        row("pushButton_10", "tab_2", "读圈存记录");
        row("pushButton_11", "tab_3", "读取第一/二/三代社保卡");
        row("pushButton_12", "tab_4", "寻卡");
        row("pushButton_13", "tab_4", "认证");
        row("pushButton_14", "tab_4", "读块");
        row("pushButton_15", "tab_4", "写块");
        row("pushButton_16", "tab_5", "读取磁条卡");
        row("pushButton_17", "tab_5", "写入磁条卡");
        row("pushButton_18", "tab_6", "卡片上电");
        row("pushButton_19", "tab_6", "发送APDU");
        row("pushButton_20", "tab_6", "卡片下电");
        row("pushButton_21", "tab_7", "读取二维码");
        row("pushButton_22", "tab_8", "检查设备连接");
        row("pushButton_23", "tab_8", "读取设备型号");
        row("pushButton_24", "tab_8", "读取固件版本");
        row("pushButton_25", "tab_8", "读模块号");
        row("pushButton_26", "tab_8", "读模块状态");
        row("pushButton_27", "tab_8", "GA467");
        row("pushButton_28", "tab_8", "GA467");
        // Fields.
        row("lineEdit_name", "tab", "");
        row("lineEdit_gender", "tab", "");
        row("lineEdit_nation", "tab", "");
        row("lineEdit_birthday", "tab", "");
        row("textEdit_address", "tab", "");
        row("lineEdit_idnumber", "tab", "");
        row("lineEdit_signorg", "tab", "");
        row("lineEdit_valid", "tab", "");
        row("lineEdit_other", "tab", "", false);
        row("label_photo", "tab", "");
        row("comboBox", "tab_2", "下拉参考标签对应信息");
        row("lineEdit_TagList", "tab_2", "A");
        row("lineEdit_ARQCData", "tab_2",
            "P012000000000000Q012000000000000R0040156S006180101T00201U006010101");
        row("lineEdit_TrAppData", "tab_2", "");
        row("lineEdit_ARPC", "tab_2", "");
        row("textEdit_IccInfo", "tab_2", "");
        row("lineEdit_SsseCardNumber", "tab_3", "");
        row("lineEdit_SsseIdNumber", "tab_3", "");
        row("lineEdit_SsseCategory", "tab_3", "");
        row("lineEdit_SsseName", "tab_3", "");
        row("lineEdit_SsseStandardVersion", "tab_3", "");
        row("lineEdit_SsseGender", "tab_3", "");
        row("lineEdit_SsseBegin", "tab_3", "");
        row("lineEdit_SsseNation", "tab_3", "");
        row("lineEdit_SsseValid", "tab_3", "");
        row("lineEdit_SsseBirthPlace", "tab_3", "");
        row("lineEdit_SsseInitOrg", "tab_3", "");
        row("lineEdit_SsseBirthDate", "tab_3", "");
        row("lineEdit_SsseIdentityNumber", "tab_3", "");
        row("lineEdit_UID", "tab_4", "", false);
        row("lineEdit_SecAddr", "tab_4", "0");
        row("comboBox_KeyType", "tab_4", "A");
        row("lineEdit_Key", "tab_4", "3C7E19B4D2A6");
        row("lineEdit_BlockAddr", "tab_4", "2");
        row("lineEdit_BlockData", "tab_4", "", false);
        row("lineEdit_WBlockData", "tab_4", "000102030405060708090A0B0C0D0E0F");
        row("comboBox_MagTracks", "tab_5", "123");
        row("lineEdit_MagTimeOut", "tab_5", "10");
        row("lineEdit_MagTrack1", "tab_5", "");
        row("lineEdit_MagTrack2", "tab_5", "");
        row("lineEdit_MagTrack3", "tab_5", "");
        row("comboBox_Slot", "tab_6", "01 <==> 大卡1");
        row("lineEdit_ATRS", "tab_6", "", false);
        row("comboBox_SendApdu", "tab_6", "0084000008");
        row("textEdit_RecvApdu", "tab_6", "");
        row("lineEdit_QrTimeOut", "tab_7", "10");
        row("textEdit_QrData", "tab_7", "");
        row("textEdit_TestInfo", "tab_8", "");
    }

    void widgetStartsAsDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QString, page);
        QFETCH(QString, startText);
        QFETCH(bool, enabled);

        MainWindow window;
        auto *widget = child<QWidget>(&window, name.toLatin1().constData());
        QCOMPARE(text(&window, name.toLatin1().constData()), startText);
        QCOMPARE(widget->isEnabled(), enabled);
        auto *pageWidget = child<QWidget>(&window, page.toLatin1().constData());
        QVERIFY(pageWidget->isAncestorOf(widget));
        if (auto *lineEdit = qobject_cast<QLineEdit *>(widget)) {
            QVERIFY(!lineEdit->validator());
            QVERIFY(lineEdit->inputMask().isEmpty());
            QCOMPARE(lineEdit->maxLength(), 32767);
        }
    }

    void comboBoxesHoldTheirItems_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("current");

        QTest::newRow("tag reference")
            << "comboBox"
            << QStringList{"下拉参考标签对应信息", "A <==> 卡号", "B <==> 姓名", "C <==> 证件类型",
                           "D <==> 证件号码", "E <==> 余额", "F <==> 余额上限", "G <==> 单笔交易限额",
                           "I <==> 失效日期", "J <==> IC卡序列号", "K <==> 二磁道信息",
                           "L <==> 一磁道信息", "O <==> 上次联机交易计数器", "P <==> 授权金额",
                           "Q <==> 其它金额", "R <==> 交易货币代码", "S <==> 交易日期",
                           "T <==> 交易类型", "U <==> 交易时间", "V <==> 终端国家代码 ",
                           "W <==> 商户名称 "}
            << 0;
        QTest::newRow("key type") << "comboBox_KeyType" << QStringList{"A", "B"} << 0;
        QTest::newRow("tracks") << "comboBox_MagTracks"
                                << QStringList{"1", "2", "3", "12", "13", "23", "123"} << 6;
        QTest::newRow("slot") << "comboBox_Slot"
                              << QStringList{"01 <==> 大卡1", "11 <==> PSAM1", "12 <==> PSAM2",
                                             "13 <==> PSAM3", "41 <==> TypeA（非接）",
                                             "42 <==> TypeB（非接）"}
                              << 0;
        QTest::newRow("apdu") << "comboBox_SendApdu"
                              << QStringList{"0084000008", "00C0000008", "00B2010012",
                                             "00A40000023F00", "00A4020002EF05",
                                             "00A4040008A000000333010101",
                                             "00A404000F7378312E73682EC9E7BBE1B1A3D5CF"}
                              << 0;
    }

    void comboBoxesHoldTheirItems()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        QFETCH(int, current);

        MainWindow window;
        auto *combo = child<QComboBox>(&window, name.toLatin1().constData());
        QStringList actual;
        for (int i = 0; i < combo->count(); ++i)
            actual << combo->itemText(i);
        QCOMPARE(actual, items);
        QCOMPARE(combo->currentIndex(), current);
        QVERIFY(combo->isEditable());
    }

    void photoFrameIsFixedAndCentred()
    {
        MainWindow window;
        auto *photo = child<QLabel>(&window, "label_photo");
        QCOMPARE(photo->size(), QSize(111, 141));
        QCOMPARE(photo->frameShape(), QFrame::StyledPanel);
        QCOMPARE(photo->alignment(), Qt::AlignCenter);
        QVERIFY(!photo->autoFillBackground());
    }

    void declaresTheSlotsInOrder()
    {
        const QStringList expected{
            "on_pushButton_clicked()",    "on_pushButton_2_clicked()",  "on_pushButton_3_clicked()",
            "on_pushButton_6_clicked()",  "on_pushButton_7_clicked()",  "on_pushButton_8_clicked()",
            "on_pushButton_9_clicked()",  "on_pushButton_10_clicked()", "on_pushButton_11_clicked()",
            "on_pushButton_12_clicked()", "on_pushButton_13_clicked()", "on_pushButton_14_clicked()",
            "on_pushButton_15_clicked()", "on_pushButton_16_clicked()", "on_pushButton_17_clicked()",
            "on_pushButton_18_clicked()", "on_pushButton_19_clicked()", "on_pushButton_20_clicked()",
            "on_pushButton_21_clicked()", "on_pushButton_22_clicked()", "on_pushButton_23_clicked()",
            "on_pushButton_24_clicked()", "on_pushButton_25_clicked()", "on_pushButton_27_clicked()",
            "on_pushButton_26_clicked()", "on_pushButton_28_clicked()", "on_action_triggered()",
            "on_action_2_triggered()",    "on_action_3_triggered()"};
        const QMetaObject &meta = MainWindow::staticMetaObject;
        QStringList declared;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            QCOMPARE(method.methodType(), QMetaMethod::Slot);
            QCOMPARE(method.access(), QMetaMethod::Private);
            declared << QString::fromLatin1(method.methodSignature());
        }
        QCOMPARE(declared, expected);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

// Tab "内部测试": connection test, model, versions and the security module
// through both routes.
#include "fakedevice.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QTextEdit>
#include <QtTest>

using namespace windowtest;

namespace {
QByteArray filled(int size, char c)
{
    return QByteArray(size, c);
}
} // namespace

class TestDiagnostics : public QObject
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

    void connectionTestWritesItsOutputEitherWay()
    {
        MainWindow window;
        setText(&window, "textEdit_TestInfo", "earlier");
        click(&window, "pushButton_22");
        QCOMPARE(status(&window), QStringLiteral("设备连接状态正常"));
        QCOMPARE(text(&window, "textEdit_TestInfo"), QStringLiteral("设备连接状态正常"));

        fakedevice::script("TerminalHeartBeat", -1);
        click(&window, "pushButton_22");
        QCOMPARE(status(&window), QStringLiteral("设备连接状态异常，错误代码：-1"));
        QCOMPARE(text(&window, "textEdit_TestInfo"), QStringLiteral("设备未连接或状态异常"));
    }

    void textOperationsShowTheLibraryText_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("success");
        QTest::addColumn<QString>("failure");
        QTest::newRow("model") << "pushButton_23" << QByteArray("TerminalGetModel")
                               << "读取设备型号成功"
                               << "读取设备型号失败，错误代码：";
        QTest::newRow("sam id") << "pushButton_25" << QByteArray("SamGetIdStr")
                                << "读取SAM模块号成功"
                                << "读取SAM模块号失败，错误代码：";
        QTest::newRow("sam id GA467")
            << "pushButton_27" << QByteArray("SdtSamGetIdStr") << "读取SAM模块号成功"
            << "读取SAM模块号失败，错误代码：";
    }

    void textOperationsShowTheLibraryText()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, entry);
        QFETCH(QString, success);
        QFETCH(QString, failure);
        const QByteArray buttonName = button.toLatin1();
        MainWindow window;

        // UTF-8, markup shown as typed, a full buffer of 255 characters.
        fakedevice::script(entry, {0, {"型号<b>X</b>\r\n"}, {}});
        click(&window, buttonName);
        QCOMPARE(status(&window), success);
        QCOMPARE(text(&window, "textEdit_TestInfo"), QStringLiteral("型号<b>X</b>\n"));
        QCOMPARE(fakedevice::lastArgs(entry), (QVariantList{true}));

        fakedevice::script(entry, {0, {filled(255, 'm')}, {}});
        click(&window, buttonName);
        QCOMPARE(text(&window, "textEdit_TestInfo"), QString(255, 'm'));

        // No terminating zero at all: read to the buffer's end, no further.
        fakedevice::script(entry, {0, {filled(256, 'n')}, {}});
        click(&window, buttonName);
        QCOMPARE(text(&window, "textEdit_TestInfo"), QString(256, 'n'));

        fakedevice::script(entry, {-4, {"ignored"}, {}});
        click(&window, buttonName);
        QCOMPARE(status(&window), failure + "-4");
        QCOMPARE(text(&window, "textEdit_TestInfo"), QString(256, 'n'));
    }

    void firmwareVersionJoinsBothTexts()
    {
        MainWindow window;
        fakedevice::script("TerminalGetFirmVersion", {0, {"FW 1.0", "HW B"}, {}});
        click(&window, "pushButton_24");
        QCOMPARE(status(&window), QStringLiteral("读取固件版本号成功"));
        auto *info = child<QTextEdit>(&window, "textEdit_TestInfo");
        QCOMPARE(info->toPlainText(), QStringLiteral("固件版本：FW 1.0\n硬件版本：HW B"));

        fakedevice::script("TerminalGetFirmVersion", {0, {}, {}});
        click(&window, "pushButton_24");
        QCOMPARE(info->toPlainText(), QStringLiteral("固件版本：\n硬件版本："));
        QCOMPARE(fakedevice::lastArgs("TerminalGetFirmVersion"), (QVariantList{true, true}));
    }

    void moduleStateIsAFixedSentence_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("entry");
        QTest::newRow("plain") << "pushButton_26" << QByteArray("SamGetStatus");
        QTest::newRow("GA467") << "pushButton_28" << QByteArray("SdtSamGetStatus");
    }

    void moduleStateIsAFixedSentence()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, entry);
        MainWindow window;
        click(&window, button.toLatin1());
        QCOMPARE(status(&window), QStringLiteral("获取SAM模块状态成功"));
        QCOMPARE(text(&window, "textEdit_TestInfo"), QStringLiteral("SAM模块状态正常"));
        QCOMPARE(fakedevice::callsOf(entry).size(), 1);

        setText(&window, "textEdit_TestInfo", "kept");
        fakedevice::script(entry, std::numeric_limits<qint64>::min());
        click(&window, button.toLatin1());
        QCOMPARE(status(&window),
                 QStringLiteral("获取SAM模块状态失败，错误代码：-9223372036854775808"));
        QCOMPARE(text(&window, "textEdit_TestInfo"), QStringLiteral("kept"));
    }
};

QTEST_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"

// The window and the connection dialog on a real X display, with the
// simulated reader found through the loader's search path as the program
// finds it.
#include "mainwindow.h"
#include "windowtest.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

using namespace windowtest;

class TestRealWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        bindLoadedLibrary();
    }

    void openingTheReaderShowsThePages()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *tabs = child<QTabWidget>(&window, "tabWidget");
        QVERIFY(!tabs->isVisible());

        onNextModal([](QWidget *dialog) {
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            QTest::mouseClick(child<QAbstractButton>(dialog, "radioButton_usb"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(dialog, "pushButton"), Qt::LeftButton);
        });
        click(&window, "action");
        QVERIFY(status(&window).startsWith(QStringLiteral("打开设备成功，设备句柄：")));
        QVERIFY(QTest::qWaitFor([tabs] { return tabs->isVisible(); }));

        tabs->setCurrentIndex(7);
        QTest::mouseClick(child<QPushButton>(&window, "pushButton_22"), Qt::LeftButton);
        QCOMPARE(status(&window), QStringLiteral("设备连接状态正常"));

        click(&window, "action_2");
        QCOMPARE(status(&window), QStringLiteral("关闭设备成功"));
        QVERIFY(!tabs->isVisible());
    }
};

QTEST_MAIN(TestRealWindow)
#include "tst_realwindow.moc"

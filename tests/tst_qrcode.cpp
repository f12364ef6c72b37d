// Tab "二维码": the timeout byte and the content shown as UTF-8 plain text.
#include "fakedevice.h"
#include "gb18030.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QtTest>

using namespace windowtest;

class TestQrCode : public QObject
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

    void timeoutIsADecimalByte_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("timeout");
        QTest::newRow("default") << "10" << qint64(10);
        QTest::newRow("low 8 bits") << "300" << qint64(44);
        QTest::newRow("empty") << "" << qint64(0);
    }

    void timeoutIsADecimalByte()
    {
        QFETCH(QString, typed);
        QFETCH(qint64, timeout);
        MainWindow window;
        setText(&window, "lineEdit_QrTimeOut", typed);
        click(&window, "pushButton_21");
        QCOMPARE(fakedevice::lastArgs("QrRead"), (QVariantList{true, timeout}));
    }

    void contentIsShownAsUtf8Text_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("shown");
        const QString chinese = QStringLiteral("收款方：星河文具店");
        QTest::newRow("chinese") << chinese.toUtf8() << chinese;
        QTest::newRow("markup kept as typed")
            << QByteArray("<b>粗体</b>&amp;") << "<b>粗体</b>&amp;";
        QTest::newRow("stops at a zero byte") << QByteArray("前\0后", 7) << "前";
        QTest::newRow("full buffer, no zero") << QByteArray(512, 'q') << QString(512, 'q');
    }

    void contentIsShownAsUtf8Text()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, shown);
        MainWindow window;
        fakedevice::script("QrRead", {0, {content}, {}});
        click(&window, "pushButton_21");
        QCOMPARE(status(&window), QStringLiteral("读取二维码成功"));
        QCOMPARE(text(&window, "textEdit_QrData"), shown);
    }

    void gb18030ContentIsNotItsText()
    {
        MainWindow window;
        const QString chinese = QStringLiteral("星河");
        fakedevice::script("QrRead", {0, {toGb18030(chinese)}, {}});
        click(&window, "pushButton_21");
        const QString shown = text(&window, "textEdit_QrData");
        QVERIFY(shown != chinese);
        QVERIFY(shown.contains(QChar::ReplacementCharacter));
    }
};

QTEST_MAIN(TestQrCode)
#include "tst_qrcode.moc"

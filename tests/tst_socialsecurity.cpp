// Tab "社保卡": the GB18030 record into thirteen fields, and the failure text
// with the library's UTF-8 explanation.
#include "fakedevice.h"
#include "gb18030.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QtTest>

using namespace windowtest;

namespace {
// The line edits in the order of the record fields they show; field 9 has none.
const char *const fieldWidgets[] = {
    "lineEdit_SsseIdentityNumber",
    "lineEdit_SsseCategory",
    "lineEdit_SsseStandardVersion",
    "lineEdit_SsseInitOrg",
    "lineEdit_SsseBegin",
    "lineEdit_SsseValid",
    "lineEdit_SsseCardNumber",
    "lineEdit_SsseIdNumber",
    "lineEdit_SsseName",
    nullptr,
    "lineEdit_SsseGender",
    "lineEdit_SsseNation",
    "lineEdit_SsseBirthPlace",
    "lineEdit_SsseBirthDate",
};

QByteArray gb18030(const QString &text)
{
    return toGb18030(text);
}

QStringList shownFields(const QObject *window)
{
    QStringList shown;
    for (const char *name : fieldWidgets)
        shown.append(name ? text(window, name) : QStringLiteral("<none>"));
    return shown;
}

void fillFields(const QObject *window, const QString &value)
{
    for (const char *name : fieldWidgets) {
        if (name)
            setText(window, name, value);
    }
}
} // namespace

class TestSocialSecurity : public QObject
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

    void recordFieldsGoToTheirLineEdits_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("fourteen fields, Chinese in GB18030")
            << QStringLiteral("990100D156:3:3.00:990100:20240315:20340314:H0384:"
                              "99010619880715003X:陈思远:SECRET: 男 :汉族:云溪省青禾市:19880715")
            << QStringList{"990100D156",   "3",        "3.00",  "990100",
                           "20240315",     "20340314", "H0384", "99010619880715003X",
                           "陈思远",       "<none>",   " 男 ",  "汉族",
                           "云溪省青禾市", "19880715"};
        QTest::newRow("more fields are ignored")
            << QStringLiteral("0:1:2:3:4:5:6:7:8:9:10:11:12:13:14:15")
            << QStringList{"0", "1", "2",      "3",  "4",  "5",  "6",
                           "7", "8", "<none>", "10", "11", "12", "13"};
        QTest::newRow("empty fields keep the positions")
            << QStringLiteral(":1::3:4:5:6:7:8:9:10:11:12:")
            << QStringList{"",  "1", "",       "3",  "4",  "5",  "6",
                           "7", "8", "<none>", "10", "11", "12", ""};
        // A short record empties the fields it lacks instead of leaving the
        // previous card's values beside the new ones.
        QTest::newRow("short record")
            << QStringLiteral("A:B:C")
            << QStringList{"A", "B", "C", "", "", "", "", "", "", "<none>", "", "", "", ""};
        QTest::newRow("empty record") << QString() << QStringList{"", "", "",       "", "", "", "",
                                                                  "", "", "<none>", "", "", "", ""};
        QTest::newRow("outside the basic plane")
            << QStringLiteral("0:1:2:3:4:5:6:7:𠀀名:9:10:11:12:13")
            << QStringList{"0", "1",    "2",      "3",  "4",  "5",  "6",
                           "7", "𠀀名", "<none>", "10", "11", "12", "13"};
    }

    void recordFieldsGoToTheirLineEdits()
    {
        QFETCH(QString, record);
        QFETCH(QStringList, shown);
        MainWindow window;
        fillFields(&window, QStringLiteral("previous card"));
        fakedevice::script("SsseReadCard", {0, {gb18030(record), "ignored on success"}, {}});
        click(&window, "pushButton_11");
        QCOMPARE(fakedevice::lastArgs("SsseReadCard"),
                 (QVariantList{qint64(3), true, true, qint64(0)}));
        QCOMPARE(status(&window), QStringLiteral("读取社保卡信息成功"));
        QCOMPARE(shownFields(&window), shown);
    }

    void aRecordWithoutZeroByteStopsAtTheBufferEnd()
    {
        MainWindow window;
        QByteArray record = gb18030(QStringLiteral("0:1:2:3:4:5:6:7:8:9:10:11:12:"));
        const int tail = 4096 - record.size();
        record.append(QByteArray(tail, 'z'));
        fakedevice::script("SsseReadCard", {0, {record}, {}});
        click(&window, "pushButton_11");
        QCOMPARE(text(&window, "lineEdit_SsseBirthDate"), QString(tail, 'z'));
    }

    void failureAppendsTheLibraryTextAfterTwoBlanks_data()
    {
        QTest::addColumn<qint64>("code");
        QTest::addColumn<QByteArray>("errorText");
        QTest::addColumn<QString>("expected");
        QTest::newRow("negative, Chinese UTF-8")
            << qint64(-40) << QByteArray("\xE6\x9C\xAA\xE6\xA3\x80\xE6\xB5\x8B\xE5\x88\xB0")
            << QStringLiteral("读取社保卡信息失败，错误代码：-40  未检测到");
        QTest::newRow("no error text")
            << qint64(-1) << QByteArray() << QStringLiteral("读取社保卡信息失败，错误代码：-1  ");
        QTest::newRow("positive code") << qint64(12) << QByteArray("busy")
                                       << QStringLiteral("读取社保卡信息失败，错误代码：12  busy");
    }

    void failureAppendsTheLibraryTextAfterTwoBlanks()
    {
        QFETCH(qint64, code);
        QFETCH(QByteArray, errorText);
        QFETCH(QString, expected);
        MainWindow window;
        fillFields(&window, QStringLiteral("previous card"));
        fakedevice::script("SsseReadCard",
                           {code, {gb18030("0:1:2:3:4:5:6:7:8:9:10:11:12:13"), errorText}, {}});
        click(&window, "pushButton_11");
        QCOMPARE(status(&window), expected);
        for (const char *name : fieldWidgets) {
            if (name)
                QCOMPARE(text(&window, name), QStringLiteral("previous card"));
        }
    }
};

QTEST_MAIN(TestSocialSecurity)
#include "tst_socialsecurity.moc"

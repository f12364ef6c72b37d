// The M1卡 tab through the real window and our device library on the
// simulated M1 card served behind a real pcscd in "Virtual PCD 00 00": the
// storage-card commands travel as APDUs through pcscd and vpcd.
#include "pcsc/pcscwindow.h"

#include <QtTest>

using namespace windowtest;

namespace {
const QString formKey = QStringLiteral("3C7E19B4D2A6");
const QString cardUid = QStringLiteral("5A1FC327");

void authenticate(MainWindow &window, const QString &keyType, const QString &sector,
                  const QString &key)
{
    setText(&window, "comboBox_KeyType", keyType);
    setText(&window, "lineEdit_SecAddr", sector);
    setText(&window, "lineEdit_Key", key);
    click(&window, "pushButton_13");
}

void readBlock(MainWindow &window, const QString &block)
{
    setText(&window, "lineEdit_BlockAddr", block);
    click(&window, "pushButton_14");
}
} // namespace

class TestPcscM1 : public QObject
{
    Q_OBJECT

    MainWindow *m_window = nullptr;

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindSimulator();
    }
    void init()
    {
        m_window = new MainWindow;
        pcscwindow::open(*m_window, QStringLiteral("Virtual PCD 00 00"));
        click(m_window, "pushButton_12");
        QCOMPARE(status(m_window), QStringLiteral("M1卡寻卡成功"));
        QCOMPARE(text(m_window, "lineEdit_UID"), cardUid);
    }
    void cleanup()
    {
        click(m_window, "action_2");
        delete m_window;
        QCOMPARE(takeWarnings(), QStringList());
    }

    void authenticationChecksKeyTypeKeyAndUid_data()
    {
        QTest::addColumn<QString>("keyType");
        QTest::addColumn<QString>("sector");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("expectedStatus");
        const QString failed = QStringLiteral("M1卡密钥认证失败，错误代码：");
        const QString ok = QStringLiteral("M1卡密钥认证成功");
        QTest::newRow("key A") << "A"
                               << "1" << formKey << cardUid << ok;
        QTest::newRow("key B, lower case") << "b"
                                           << "15" << formKey << cardUid << ok;
        QTest::newRow("wrong key") << "A"
                                   << "1"
                                   << "FFFFFFFFFFFF" << cardUid << failed + "-54";
        QTest::newRow("key type refused before sending")
            << "C"
            << "1" << formKey << cardUid << failed + "-52";
        QTest::newRow("another card's UID") << "A"
                                            << "1" << formKey << "01020304" << failed + "-53";
        QTest::newRow("a 4K sector on a 1K card") << "A"
                                                  << "33" << formKey << cardUid << failed + "-51";
    }

    void authenticationChecksKeyTypeKeyAndUid()
    {
        QFETCH(QString, keyType);
        QFETCH(QString, sector);
        QFETCH(QString, key);
        QFETCH(QString, uid);
        QFETCH(QString, expectedStatus);
        setText(m_window, "lineEdit_UID", uid);
        authenticate(*m_window, keyType, sector, key);
        QCOMPARE(status(m_window), expectedStatus);
    }

    void writtenBlockReadsBack()
    {
        authenticate(*m_window, QStringLiteral("A"), QStringLiteral("2"), formKey);
        const QString data =
            QStringLiteral("0123456789ABCDEF00112233445566") + QStringLiteral("77");
        setText(m_window, "lineEdit_BlockAddr", QStringLiteral("9"));
        setText(m_window, "lineEdit_WBlockData", data);
        click(m_window, "pushButton_15");
        QCOMPARE(status(m_window), QStringLiteral("M1卡写块数据成功"));
        readBlock(*m_window, QStringLiteral("9"));
        QCOMPARE(status(m_window), QStringLiteral("M1卡读块数据成功"));
        QCOMPARE(text(m_window, "lineEdit_BlockData"), data);
    }

    void blocksOfOtherSectorsNeedTheirOwnAuthentication()
    {
        authenticate(*m_window, QStringLiteral("A"), QStringLiteral("1"), formKey);
        readBlock(*m_window, QStringLiteral("4"));
        QCOMPARE(status(m_window), QStringLiteral("M1卡读块数据成功"));
        readBlock(*m_window, QStringLiteral("8"));
        QCOMPARE(status(m_window), QStringLiteral("M1卡读块数据失败，错误代码：-55"));
        // Finding the card again ends the authentication, as a new selection does.
        click(m_window, "pushButton_12");
        readBlock(*m_window, QStringLiteral("4"));
        QCOMPARE(status(m_window), QStringLiteral("M1卡读块数据失败，错误代码：-55"));
    }
};

QTEST_MAIN(TestPcscM1)
#include "tst_pcscm1.moc"

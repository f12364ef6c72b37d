// The simulated reader's identity documents, through its exports as the
// program sees them and through the record builders behind them.
#include "errors.h"
#include "gb18030.h"
#include "identity.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QImage>
#include <QLabel>
#include <QSet>
#include <QtTest>

#include <cstring>
#include <vector>

using namespace windowtest;

Q_DECLARE_METATYPE(sim::IdentityKind)

namespace {

constexpr int recordSize = 10240;

QStringList fieldsOf(const QByteArray &record)
{
    return fromGb18030(record).split(':');
}

// The identity number's check character, from the published weights.
QChar expectedCheckCharacter(const QString &number)
{
    static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (int i = 0; i < 17; ++i)
        sum += number.at(i).digitValue() * weights[i];
    return QLatin1String("10X98765432").at(sum % 11);
}

} // namespace

class TestSimIdentity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { bindSimulator(); }
    void init() { QVERIFY(pOpenDevice("USB", "E4A50701", "") > 0); }
    void cleanup() { pCloseDevice(); }

    void everyOperationNeedsAnOpenDevice()
    {
        QCOMPARE(pCloseDevice(), qint64(device::Ok));
        std::vector<char> record(recordSize, '\0');
        unsigned char serial[16] = {};
        int64_t length = 0;
        QCOMPARE(pIdReadCard(0, 1, record.data(), 0), qint64(device::NotOpen));
        QCOMPARE(pSdtReadCard(0, 1, record.data(), 0), qint64(device::NotOpen));
        QCOMPARE(pIdReadSn(serial, &length), qint64(device::NotOpen));
        QCOMPARE(record.front(), '\0');
        QCOMPARE(length, int64_t(0));
    }

    void nullBuffersAreRefused()
    {
        int64_t length = 0;
        unsigned char serial[16] = {};
        QCOMPARE(pIdReadCard(0, 1, nullptr, 0), qint64(device::NullArgument));
        QCOMPARE(pSdtReadCard(0, 1, nullptr, 0), qint64(device::NullArgument));
        QCOMPARE(pIdReadSn(nullptr, &length), qint64(device::NullArgument));
        QCOMPARE(pIdReadSn(serial, nullptr), qint64(device::NullArgument));
    }

    void successiveReadingsShowEachKind_data()
    {
        QTest::addColumn<bool>("ga467");
        QTest::newRow("plain") << false;
        QTest::newRow("GA467") << true;
    }

    void successiveReadingsShowEachKind()
    {
        QFETCH(bool, ga467);
        auto *read = ga467 ? pSdtReadCard : pIdReadCard;
        QSet<QString> flags;
        QByteArray first;
        for (int reading = 0; reading <= sim::identityKindCount; ++reading) {
            std::vector<char> record(recordSize, '\x7F');
            QCOMPARE(read(0, 1, record.data(), 0), qint64(device::Ok));
            const void *end = std::memchr(record.data(), '\0', record.size());
            QVERIFY(end);
            const QByteArray text(record.data(), static_cast<const char *>(end) - record.data());
            const QStringList fields = fieldsOf(text);
            QCOMPARE(fields.size(), 15);

            const QString flag = fields.at(0);
            const sim::IdentityKind kind = flag == "I"   ? sim::IdentityKind::Foreigner
                                           : flag == "J" ? sim::IdentityKind::HongKongMacaoTaiwan
                                                         : sim::IdentityKind::Resident;
            QCOMPARE(text, sim::identityRecord(kind));

            // The serial number is that of the document just read.
            unsigned char serial[16] = {};
            int64_t length = 0;
            QCOMPARE(pIdReadSn(serial, &length), qint64(device::Ok));
            QCOMPARE(length, int64_t(8));
            QCOMPARE(QByteArray(reinterpret_cast<char *>(serial), 8), sim::identitySerial(kind));

            if (reading == 0)
                first = text;
            if (reading < sim::identityKindCount)
                flags.insert(fields.at(0));
            else
                QCOMPARE(text, first);
        }
        QCOMPARE(flags, (QSet<QString>{"", "I", "J"}));
    }

    void recordsFollowTheLayout_data()
    {
        QTest::addColumn<sim::IdentityKind>("kind");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("name");
        QTest::newRow("resident") << sim::IdentityKind::Resident << ""
                                  << "苏晓岚";
        QTest::newRow("foreigner") << sim::IdentityKind::Foreigner << "I"
                                   << "柯思婷";
        QTest::newRow("Hong Kong, Macao, Taiwan") << sim::IdentityKind::HongKongMacaoTaiwan << "J"
                                                  << "陈嘉颖";
    }

    void recordsFollowTheLayout()
    {
        QFETCH(sim::IdentityKind, kind);
        QFETCH(QString, flag);
        QFETCH(QString, name);
        const QByteArray record = sim::identityRecord(kind);
        QVERIFY(record.size() < recordSize);
        QVERIFY(!record.contains('\0'));
        // Chinese text in GB18030, not UTF-8.
        QVERIFY(!QString::fromUtf8(record).contains(name));

        const QStringList fields = fieldsOf(record);
        QCOMPARE(fields.size(), 15);
        QCOMPARE(fields.at(0), flag);
        QCOMPARE(fields.at(1), name);
        QVERIFY(!fields.at(3).isEmpty());
        QVERIFY(!fields.at(11).isEmpty() && !fields.at(12).isEmpty());
        QVERIFY(fields.at(11) < fields.at(12));
        // Each kind carries the extra data its display shows, and no other.
        QCOMPARE(!fields.at(2).isEmpty(), flag == "I");
        QCOMPARE(!fields.at(6).isEmpty(), flag == "J");
        QCOMPARE(!fields.at(13).isEmpty(), !flag.isEmpty());

        const QString number = fields.at(9);
        if (number.size() == 18)
            QCOMPARE(number.at(17), expectedCheckCharacter(number));
        else
            QCOMPARE(flag, QStringLiteral("I"));

        const QByteArray photo = QByteArray::fromBase64(fields.at(14).toLatin1());
        QCOMPARE(photo, sim::identityPhoto(kind));
        QImage image;
        QVERIFY(image.loadFromData(photo));
        QCOMPARE(image.size(), QSize(102, 126));
        QCOMPARE(sim::identitySerial(kind).size(), 8);
    }

    // The whole road: the window reads each kind from the simulated reader.
    void windowShowsEachKindInTurn()
    {
        MainWindow window;
        QSet<QString> others;
        for (int reading = 0; reading < sim::identityKindCount; ++reading) {
            click(&window, reading % 2 ? "pushButton_2" : "pushButton");
            QCOMPARE(status(&window), QStringLiteral("读取证件信息成功"));
            QVERIFY(!text(&window, "lineEdit_name").isEmpty());
            QVERIFY(!child<QLabel>(&window, "label_photo")->pixmap(Qt::ReturnByValue).isNull());
            others.insert(text(&window, "lineEdit_other").section(QStringLiteral("  "), 0, 0));
        }
        QCOMPARE(others, (QSet<QString>{"证件类型标识：", "证件类型标识：I", "证件类型标识：J"}));

        click(&window, "pushButton_3");
        QVERIFY(QRegularExpression("^读二代证卡体管理号SN成功：[0-9A-F]{16}$")
                    .match(status(&window))
                    .hasMatch());
    }
};

QTEST_MAIN(TestSimIdentity)
#include "tst_simidentity.moc"

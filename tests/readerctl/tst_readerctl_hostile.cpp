// readerctl against a library that answers with hostile bytes: over-long
// texts without a terminating zero, byte counts far beyond the buffers,
// negative counts, bytes that are not UTF-8, card data that does not parse.
// The program's guards are the window's; the sanitizer build runs this too.
#include "cli.h"
#include "fakedevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using fakedevice::Reply;

namespace {

// Runs readerctl in this process with its standard output caught.
QByteArray readerctlOutput(const QStringList &arguments, int &status)
{
    QTemporaryFile file;
    file.open();
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(file.handle(), STDOUT_FILENO);
    status = readerctl::run(QStringList{"readerctl"} + arguments);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    file.seek(0);
    return file.readAll();
}

} // namespace

class ReaderctlHostile : public QObject
{
    Q_OBJECT
private slots:
    void answers_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<qint64>("result");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QString>("absent");
        const QByteArray full(10240, '7');
        QTest::newRow("record without end") << "identity" << QByteArray("IdReadCard") << qint64(0) << full << qint64(0)
                                            << 0 << "type_flag" << 10240 << "";
        QTest::newRow("serial count huge") << "identity-serial" << QByteArray("IdReadSn") << qint64(0)
                                           << QByteArray(16, '\xAB') << qint64(1) << 0 << "serial" << 32 << "";
        QTest::newRow("uid count negative") << "m1-find" << QByteArray("M1FindCard") << qint64(0)
                                            << QByteArray(16, '\x11') << qint64(-5) << 0 << "uid" << 32 << "";
        QTest::newRow("response count huge") << "cpu-apdu" << QByteArray("CpuApdu") << qint64(0)
                                             << QByteArray(1024, '\x90') << qint64(1) << 0 << "response" << 2048 << "";
        QTest::newRow("model not UTF-8") << "model" << QByteArray("TerminalGetModel") << qint64(0)
                                         << QByteArray(300, '\xFF') << qint64(0) << 0 << "model" << 256 << "";
        QTest::newRow("card data that does not parse")
            << "bank-info" << QByteArray("IccGetCardInfo") << qint64(0) << QByteArray("A0996999002000123451")
            << qint64(0) << 0 << "card_info" << 4096 << "6999002000123451";
        QTest::newRow("open answers 0") << "heartbeat" << QByteArray("OpenDevice") << qint64(0) << QByteArray()
                                        << qint64(0) << 4 << "" << 0 << "";
        QTest::newRow("huge negative code") << "heartbeat" << QByteArray("TerminalHeartBeat")
                                            << qint64(-9223372036854775807LL - 1) << QByteArray() << qint64(0) << 1
                                            << "" << 0 << "";
    }
    void answers()
    {
        QFETCH(QString, op);
        QFETCH(QByteArray, entry);
        QFETCH(qint64, result);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, count);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(int, maxLength);
        QFETCH(QString, absent);
        fakedevice::reset();
        fakedevice::script("OpenDevice", 1);
        // A count of 1 stands for "far beyond the buffer".
        fakedevice::script(entry, Reply{result, {bytes}, {count == 1 ? (qint64(1) << 40) : count}});
        int exit = -1;
        const QByteArray out = readerctlOutput({"call", op, "--json"}, exit);
        QCOMPARE(exit, status);
        const QJsonObject report = QJsonDocument::fromJson(out).object();
        QVERIFY2(!report.isEmpty(), out.constData());
        QCOMPARE(report["exit_status"].toInt(), status);
        if (output.isEmpty())
            return;
        const QString value = report["steps"].toArray()[0].toObject()["outputs"].toObject()[output].toString();
        QVERIFY2(value.size() <= maxLength, qPrintable(value));
        if (!absent.isEmpty())
            QVERIFY2(!value.contains(absent) && !out.contains(absent.toUtf8()), qPrintable(value));
    }
};

QTEST_GUILESS_MAIN(ReaderctlHostile)
#include "tst_readerctl_hostile.moc"

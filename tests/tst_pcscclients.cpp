// Independent PC/SC programs on the virtual cards served through a real pcscd:
// the user card in "Virtual PCD 00 00", the first PSAM in "Virtual PCD 00 01"
// (see add_pcsc_test in CMakeLists.txt). Every byte pcscd and vpcd carry must
// arrive unchanged.
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString userReader = QStringLiteral("Virtual PCD 00 00");
const QString psamReader = QStringLiteral("Virtual PCD 00 01");

QString run(const QString &program, const QStringList &arguments,
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(15000))
        process.kill();
    process.waitForFinished();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The responses opensc-tool -s prints: "Received (SW1=0x90, SW2=0x00):" and the
// data as lines of up to 16 hexadecimal bytes followed by their characters.
QStringList responses(const QString &output)
{
    static const QRegularExpression received(
        QStringLiteral("^Received \\(SW1=0x(..), SW2=0x(..)\\)"));
    QStringList answers;
    QString data;
    QString status;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = received.match(line);
        if (match.hasMatch() || line.startsWith(QLatin1String("Sending"))) {
            if (!status.isEmpty())
                answers << data + status;
            data.clear();
            status = match.hasMatch() ? match.captured(1) + match.captured(2) : QString();
        } else if (!status.isEmpty()) {
            // A full line is padded to 48 columns before its characters; a
            // shorter single line is not: n bytes take 3n columns, then n.
            const int width = line.size() >= 48 ? 48 : line.size() * 3 / 4;
            data += line.left(width).remove(QLatin1Char(' '));
        }
    }
    if (!status.isEmpty())
        answers << data + status;
    return answers;
}

QStringList exchange(const QString &reader, const QStringList &commands)
{
    QStringList arguments{QStringLiteral("-c"), QStringLiteral("default"), QStringLiteral("-r"),
                          reader};
    for (const QString &command : commands)
        arguments << QStringLiteral("-s") << command;
    return responses(run(QStringLiteral("opensc-tool"), arguments));
}

} // namespace

class tst_PcscClients : public QObject
{
    Q_OBJECT

private slots:
    void openscReadsTheAtrOfEachCard_data();
    void openscReadsTheAtrOfEachCard();
    void openscExchangesApdus_data();
    void openscExchangesApdus();
    void getChallengeAnswersFreshBytes();
    void pcscScanListsReadersAndParsesAtrsOffline();
};

void tst_PcscClients::openscReadsTheAtrOfEachCard_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("atr");
    QTest::newRow("user card") << userReader << "3b:6c:00:00:53:52:43:50:55:2e:53:53:43:33:30:30\n";
    QTest::newRow("PSAM") << psamReader << "3b:6b:00:00:53:52:50:53:41:4d:2d:31:2e:32:30\n";
}

void tst_PcscClients::openscReadsTheAtrOfEachCard()
{
    QFETCH(QString, reader);
    QFETCH(QString, atr);
    QCOMPARE(
        run(QStringLiteral("opensc-tool"), {QStringLiteral("-c"), QStringLiteral("default"),
                                            QStringLiteral("-r"), reader, QStringLiteral("-a")}),
        atr);
}

// One connection per row: the commands run in order on one session.
void tst_PcscClients::openscExchangesApdus_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("answers");

    QTest::newRow("debit application: SELECT by name, READ RECORD")
        << userReader << QStringList{"00A4040008A00000033301010100", "00B2010C00"}
        << QStringList{
               "6F488408A000000333010101A53C500A444542495420434152448701019F38189F66049F02069F0306"
               "9F1A0295055F2A029A039C019F37045F2D027A68BF0C0A9F4D020B0ADF4D020C0A9000",
               "706C57136999002000123451D30122201234567800000F5F2006B3C2CBBCD4B69F1F32423639393930"
               "30323030303132333435315E4348454E2F53495955414E5E33303132323230303030303030303030303"
               "0"
               "30309F61123939303130363139383830373135303033349F6201009000"};
    QTest::newRow("card identification under the MF")
        << userReader << QStringList{"00A4000C023F00", "00B2012C00"}
        << QStringList{"9000", "011099 0100D1560000 0500A1B2C3D4E5F6079000"};
    QTest::newRow("social security application by its GB18030 name, holder's name")
        << userReader << QStringList{"00A4040C0F7378312E73682EC9E7BBE1B1A3D5CF", "00B2094000"}
        << QStringList{"9000", "0906B3C2CBBCD4B69000"};
    QTest::newRow("PSAM application by name; the user card's files are not there")
        << psamReader << QStringList{"00A404000B53522E5053414D2E41505000", "00B2010C00"}
        << QStringList{"6F19830210018 40B53522E5053414D2E415050A5065004505341 4D9000", "6A82"};
    QTest::newRow("errors travel as they are")
        << userReader << QStringList{"00C0000000", "80A4000000", "00EE000000"}
        << QStringList{"6985", "6E00", "6D00"};
}

void tst_PcscClients::openscExchangesApdus()
{
    QFETCH(QString, reader);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, answers);
    for (QString &answer : answers)
        answer.remove(QLatin1Char(' '));
    QCOMPARE(exchange(reader, commands), answers);
}

void tst_PcscClients::getChallengeAnswersFreshBytes()
{
    const QStringList answers =
        exchange(userReader, {QStringLiteral("0084000008"), QStringLiteral("0084000008")});
    QCOMPARE(answers.size(), 2);
    for (const QString &answer : answers) {
        QCOMPARE(answer.size(), 20);
        QVERIFY(answer.endsWith(QLatin1String("9000")));
    }
    QVERIFY(answers[0] != answers[1]);
}

// pcsc_scan loops until -t ends it. Its ATR analysis looks the ATR up in
// smartcard_list.txt and downloads a newer list when the one in the cache
// folder is missing or older than ten hours: a fresh copy there, and a PATH
// whose wget and curl fail, keep it offline.
void tst_PcscClients::pcscScanListsReadersAndParsesAtrsOffline()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("cache"))));
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("bin"))));
    QVERIFY(QFile::copy(QStringLiteral("/usr/share/pcsc/smartcard_list.txt"),
                        home.filePath(QStringLiteral("cache/smartcard_list.txt"))));
    for (const char *tool : {"wget", "curl"}) {
        QFile::link(QStringLiteral("/bin/false"),
                    home.filePath(QStringLiteral("bin/") + QLatin1String(tool)));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    environment.insert(QStringLiteral("PATH"), home.filePath(QStringLiteral("bin")) + ':'
                                                   + environment.value(QStringLiteral("PATH")));

    const QString output =
        run(QStringLiteral("pcsc_scan"), {QStringLiteral("-t"), QStringLiteral("2")}, environment);
    for (const char *expected : {
             " Reader 0: Virtual PCD 00 00\n",
             "  ATR: 3B 6C 00 00 53 52 43 50 55 2E 53 53 43 33 30 30\n",
             "+ T0 = 6C, Y(1): 0110, K: 12 (historical bytes)\n",
             "+ Historical bytes: 53 52 43 50 55 2E 53 53 43 33 30 30\n",
             " Reader 1: Virtual PCD 00 01\n",
             "  ATR: 3B 6B 00 00 53 52 50 53 41 4D 2D 31 2E 32 30\n",
             "+ T0 = 6B, Y(1): 0110, K: 11 (historical bytes)\n",
         }) {
        QVERIFY2(output.contains(QLatin1String(expected)), expected);
    }
    QVERIFY(!output.contains(QLatin1String("Updating")));
}

QTEST_GUILESS_MAIN(tst_PcscClients)
#include "tst_pcscclients.moc"

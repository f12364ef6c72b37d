// The replaying library: a trace recorded through the tracer replays to the
// same window, call for call; a call the trace cannot answer gets its own code
// and one line naming both calls; a redacted trace keeps only the shape of the
// personal data; timing brings back a slow reader's slowness.
#include "tracedwindow.h"
#include "traceformat.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace tracedwindow;

namespace {

const QString replayPath = qEnvironmentVariable("REPLAY_PATH");
const QString tracerPath = qEnvironmentVariable("TRACER_PATH");
const QString simulatorPath = qEnvironmentVariable("SIMULATOR_PATH");
const QString fakePath = qEnvironmentVariable("FAKE_DEVICE_PATH");

// A child mode run through the tracer in front of real, then through the
// replay of what it traced.
struct RoundTrip
{
    Child live;
    Child replayed;
    QByteArray trace;
};

RoundTrip roundTrip(const QString &tracePath, QStringList arguments, const QString &real,
                    const QStringList &tracing, const QStringList &replaying,
                    int replayedArguments = -1)
{
    RoundTrip run;
    arguments.insert(1, tracerPath);
    run.live =
        runChild(arguments, QStringList{"READER_SPY_LIBRARY=" + real, "READER_SPY_LOG=" + tracePath}
                                + tracing);
    arguments[1] = replayPath;
    if (replayedArguments >= 0)
        arguments = arguments.mid(0, replayedArguments);
    run.replayed = runChild(arguments, QStringList{"READER_REPLAY_TRACE=" + tracePath} + replaying);
    run.trace = readFile(tracePath);
    return run;
}

// The IdReadCard call of a trace.
trace::Call identityRead(const QByteArray &trace)
{
    for (const QByteArray &text : trace.split('\n')) {
        trace::Line line = trace::parseLine(text.toStdString(), trace::LineKind::Call);
        if (line.kind == trace::LineKind::Call && line.call.entry == EntryPoint::IdReadCard)
            return line.call;
    }
    return {};
}

} // namespace

class TestReplay : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_traces = 0;

    QString newTracePath() { return m_dir.filePath(QString::number(++m_traces) + ".trace"); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // The fake's rows: the control clicked, then the entry point it scripts,
    // the result, the buffers in hexadecimal and the counts.
    void replayShowsWhatTheLiveRunShowed_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("real");
        const QString ab16 = QByteArray(16, '\xab').toHex();
        QTest::newRow("every tab on the simulated reader")
            << QStringList{"--every-tab"} << simulatorPath;
        QTest::newRow("count 100000")
            << QStringList{"--click", "pushButton_3", "IdReadSn", "0", ab16, "100000"} << fakePath;
        QTest::newRow("count -1")
            << QStringList{"--click", "pushButton_14",           "M1ReadBlock",
                           "0",       QByteArray(32, 1).toHex(), "-1"}
            << fakePath;
        QTest::newRow("text without a zero byte")
            << QStringList{"--click", "pushButton_21", "QrRead", "0", QByteArray(600, 'Q').toHex(),
                           ""}
            << fakePath;
        QTest::newRow("tracks without a zero byte") << QStringList{
            "--click",
            "pushButton_16",
            "MagRead",
            "0",
            QByteArray(512, '7').toHex() + ",3B36393939" + "," + QByteArray("\xC3\x28\xFF").toHex(),
            ""} << fakePath;
        QTest::newRow("record not GB18030")
            << QStringList{"--click",
                           "pushButton",
                           "IdReadCard",
                           "0",
                           QByteArray("I\xFF:\x81\x30:\xD5\xC5\x80:\xFE").toHex(),
                           ""}
            << fakePath;
        QTest::newRow("error with outputs")
            << QStringList{"--click",
                           "pushButton_11",
                           "SsseReadCard",
                           "-7",
                           QByteArray("A:B").toHex() + "," + QString("卡片已移走").toUtf8().toHex(),
                           ""}
            << fakePath;
    }

    void replayShowsWhatTheLiveRunShowed()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, real);
        const RoundTrip run = roundTrip(newTracePath(), arguments, real, {"READER_SPY_REDACT=0"},
                                        {}, arguments.size() > 3 ? 3 : -1);
        QCOMPARE(run.live.status, 0);
        QCOMPARE(run.replayed.status, 0);
        QVERIFY(run.live.out.count('\n') > 10);
        QCOMPARE(QString::fromUtf8(run.replayed.out).split('\n'),
                 QString::fromUtf8(run.live.out).split('\n'));
        QVERIFY2(!run.replayed.err.contains("reader-replay"), run.replayed.err.constData());
    }

    // The trace the child's three calls (OpenDevice, TerminalHeartBeat and
    // the never-called SetAutoPara) are replayed from, the codes they get
    // and the first line the library writes.
    void answersFromTheTraceOrRefuses_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("trace");
        QTest::addColumn<QString>("codes");
        QTest::addColumn<QString>("message");
        const QByteArray header = "reader-trace 1\n";
        const QByteArray time = "2026-12-08T14:05:07.384753Z ";
        const QByteArray open = time
                                + "OpenDevice(portType=\"USB\", portPara=\"E4A50701\", "
                                  "extendPara=\"\"); result 1; 24 us\n";
        const QByteArray otherOpen = time
                                     + "OpenDevice(portType=\"USB\", portPara=\"E4A50702\", "
                                       "extendPara=\"\"); result 1; 24 us\n";
        const QByteArray beat = time + "TerminalHeartBeat(); result 0; 3 us\n";
        const QByteArray autoPara = time + "SetAutoPara(); result -1; 2 us\n";
        const QString actualOpen =
            "OpenDevice(portType=\"USB\", portPara=\"E4A50701\", extendPara=\"\")";

        QTest::newRow("strict, in order") << "strict" << header + open + beat + autoPara << "1 0 -1"
                                          << "";
        QTest::newRow("strict, reordered")
            << "" << header + beat + open + autoPara << "-9911 0 -9911"
            << "expected TerminalHeartBeat() (line 2), got " + actualOpen + "; answered -9911";
        QTest::newRow("lenient, reordered")
            << "lenient" << header + beat + open + autoPara << "1 0 -1"
            << "";
        QTest::newRow("strict, other inputs")
            << "strict" << header + otherOpen + beat + autoPara << "-9911 -9911 -9911"
            << "expected OpenDevice(portType=\"USB\", portPara=\"E4A50702\", extendPara=\"\") "
               "(line 2), got "
                   + actualOpen;
        QTest::newRow("lenient, other inputs")
            << "lenient" << header + otherOpen + beat + autoPara << "-9911 0 -1"
            << "expected OpenDevice(portType=\"USB\", portPara=\"E4A50702\"";
        QTest::newRow("strict, used up")
            << "strict" << header + open << "1 -9911 -9911"
            << "expected no further call (the trace is used up, 1 answered), got "
               "TerminalHeartBeat()";
        QTest::newRow("lenient, used up")
            << "lenient" << header + open + autoPara << "1 -9911 -1"
            << "expected no further call of TerminalHeartBeat (none left in the trace; 1 "
               "answered, 1 waiting for other entry points), got TerminalHeartBeat()";
        QTest::newRow("lenient, look-ahead full")
            << "lenient" << header + beat.repeated(1025) + open + autoPara << "-9911 0 -9911"
            << "expected a call of OpenDevice within the look-ahead of 1024 calls per entry "
               "point, which is full, got "
                   + actualOpen;
        QTest::newRow("another version")
            << ""
            << "reader-trace 2\n" + open << "-9910 -9910 -9910"
            << "line 1: a trace of reader-trace version 2; only version 1 can be replayed";
        QTest::newRow("no header") << "" << open << "-9910 -9910 -9910"
                                   << "line 1: not a trace: the first line must name the format";
        QTest::newRow("malformed line")
            << "" << header + open + time + "TerminalHeartBeat(; result 0; 3 us\n" + autoPara
            << "1 -9910 -9910"
            << "line 3: expected ')' at column 47";
        QTest::newRow("unknown mode") << "fast" << header + open << "-9910 -9910 -9910"
                                      << "READER_REPLAY_MODE is fast, not strict or lenient";
    }

    void answersFromTheTraceOrRefuses()
    {
        QFETCH(QString, mode);
        QFETCH(QByteArray, trace);
        QFETCH(QString, codes);
        QFETCH(QString, message);
        const QString path = newTracePath();
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(trace);
        file.close();
        const Child child = runChild({"--three-calls", replayPath},
                                     {"READER_REPLAY_TRACE=" + path, "READER_REPLAY_MODE=" + mode});
        QCOMPARE(child.status, 0);
        QCOMPARE(QString::fromLatin1(child.out), codes);
        // One line per call not in the trace, one in all for a trace that
        // cannot be used.
        const QStringList lines =
            QString::fromUtf8(child.err).split('\n').filter(QStringLiteral("reader-replay: "));
        const int expected = codes.count("-9911") + (codes.contains("-9910") ? 1 : 0);
        QCOMPARE(lines.size(), expected);
        if (expected > 0)
            QVERIFY2(lines.first().contains(message), qPrintable(lines.first()));
    }

    void redactedIdentityReadKeepsOnlyTheShape()
    {
        const RoundTrip full = roundTrip(newTracePath(), {"--identity-read"}, simulatorPath,
                                         {"READER_SPY_REDACT=0"}, {});
        const RoundTrip redacted =
            roundTrip(newTracePath(), {"--identity-read"}, simulatorPath, {}, {});
        QVERIFY(full.trace.startsWith("reader-trace 1\n"));
        QVERIFY(redacted.trace.startsWith("reader-trace 1 redacted\n"));

        const QList<QByteArray> original =
            QByteArray::fromStdString(identityRead(full.trace).outputs.at(0).bytes).split(':');
        const QList<QByteArray> placeholders =
            QByteArray::fromStdString(identityRead(redacted.trace).outputs.at(0).bytes).split(':');
        QCOMPARE(placeholders.size(), original.size());
        for (int field = 0; field < original.size(); ++field)
            QCOMPARE(placeholders[field].size(), original[field].size());
        // Name, address, identity number and photo, as the trace writes them:
        // in the full trace, and nowhere in the redacted one.
        for (int field : {1, 8, 9, 14}) {
            std::string written;
            trace::appendText(written, original[field].constData(),
                              static_cast<std::size_t>(original[field].size()));
            const QByteArray value = QByteArray::fromStdString(written).mid(1).chopped(1);
            QVERIFY(value.size() >= 8);
            QVERIFY(full.trace.contains(value));
            QVERIFY2(!redacted.trace.contains(value), value.constData());
            QVERIFY(!redacted.trace.contains(value.left(8)));
        }

        // The replayed window shows placeholders where the live one showed
        // the person, every text as long as it was.
        const QStringList live = QString::fromUtf8(redacted.live.out).split('\n');
        const QStringList replayed = QString::fromUtf8(redacted.replayed.out).split('\n');
        QCOMPARE(replayed.size(), live.size());
        QCOMPARE(replayed.filter(QStringLiteral("某某某")).size() > 0, true);
        for (int i = 0; i < live.size(); ++i) {
            if (!live[i].contains(QLatin1String(" pixmap ")))
                QCOMPARE(replayed[i].size(), live[i].size());
        }
        QVERIFY(!redacted.replayed.out.contains("990102198806140023"));
    }

    void timingBringsBackTheTracedTime_data()
    {
        QTest::addColumn<QString>("timing");
        QTest::addColumn<bool>("slow");
        QTest::newRow("with timing") << "1" << true;
        QTest::newRow("without") << "0" << false;
    }

    void timingBringsBackTheTracedTime()
    {
        QFETCH(QString, timing);
        QFETCH(bool, slow);
        const RoundTrip run = roundTrip(newTracePath(), {"--slow-read"}, simulatorPath, {},
                                        {"READER_REPLAY_TIMING=" + timing});
        const qint64 traced = identityRead(run.trace).microseconds / 1000;
        QVERIFY2(traced >= 1000, run.trace.constData());
        QCOMPARE(run.replayed.out.split(' ').value(0), QByteArray("0"));
        const qint64 replayed = run.replayed.out.split(' ').value(1).toLongLong();
        if (slow)
            QVERIFY2(replayed >= traced, run.replayed.out.constData());
        else
            QVERIFY2(replayed < traced / 2, run.replayed.out.constData());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (const int status = runChildMode(app.arguments()); status >= 0)
        return status;
    TestReplay test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_replay.moc"

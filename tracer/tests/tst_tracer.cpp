// The tracing library in front of the simulated reader and of the scriptable
// fake: the window shows byte for byte what it shows without the tracer, the
// library receives the same arguments, and the trace holds every call in order
// with its arguments, outputs and result.
#include "fakedevice.h"
#include "tracedwindow.h"
#include "windowtest.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <cstdlib>

using namespace windowtest;
using namespace tracedwindow;

namespace {

// The terminal draws a new unpredictable number (9F37) for every ARQC, so the
// cryptogram (9F26, the ARQC text) differs between two runs: those values are
// masked before the runs are compared.
QStringList withoutUnpredictableNumber(const QByteArray &out)
{
    static const QRegularExpression random(
        QStringLiteral("(9F2608|ARQC：)[0-9A-F]{16}|(9F3704)[0-9A-F]{8}"));
    QString text = QString::fromUtf8(out);
    text.replace(random, QStringLiteral("\\1\\2…"));
    return text.split(QLatin1Char('\n'));
}

const QString tracerPath = qEnvironmentVariable("TRACER_PATH");
const QString simulatorPath = qEnvironmentVariable("SIMULATOR_PATH");
const QString fakePath = qEnvironmentVariable("FAKE_DEVICE_PATH");

} // namespace

class TestTracer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_log;

private slots:
    void initTestCase()
    {
        installWarningCollector();
        QVERIFY(m_dir.isValid());
        m_log = m_dir.filePath(QStringLiteral("fake.trace"));
        qputenv("READER_SPY_LIBRARY", fakePath.toUtf8());
        qputenv("READER_SPY_LOG", m_log.toUtf8());
        // The whole record, to compare it byte for byte.
        qputenv("READER_SPY_REDACT", "0");
    }
    void init() { fakedevice::reset(); }
    void cleanup() { QCOMPARE(takeWarnings(), QStringList()); }

    void everyTabShowsTheSameThroughTheTracer()
    {
        const Child direct = runChild({"--every-tab", simulatorPath}, {});
        const QString log = m_dir.filePath(QStringLiteral("simulator.trace"));
        const Child traced =
            runChild({"--every-tab", tracerPath},
                     {"READER_SPY_LIBRARY=" + simulatorPath, "READER_SPY_LOG=" + log});
        QCOMPARE(direct.status, 0);
        QCOMPARE(traced.status, 0);
        QVERIFY(direct.out.contains("M1卡写块数据成功"));
        QCOMPARE(withoutUnpredictableNumber(traced.out), withoutUnpredictableNumber(direct.out));

        const QByteArray trace = readFile(log);
        QStringList operations = entryNames(tracedCalls(trace));
        operations.removeAll(QStringLiteral("HexToAsc"));
        operations.removeAll(QStringLiteral("AscToHex"));
        const QString expected =
            "OpenDevice TerminalHeartBeat TerminalGetModel TerminalGetFirmVersion SamGetIdStr "
            "SdtSamGetIdStr SamGetStatus SdtSamGetStatus IdReadCard SdtReadCard IdReadCard "
            "IdReadSn "
            "IccGetCardInfo IccGetARQC IccARPCExeScript IccGetTrDetail IccGetLoadDetail "
            "SsseReadCard M1FindCard M1Authentication M1ReadBlock M1WriteBlock M1ReadBlock MagRead "
            "MagWrite CpuPowerOn CpuApdu CpuApdu CpuPowerOff QrRead CloseDevice";
        QCOMPARE(operations, expected.split(' '));
        const int calls = tracedCalls(trace).size();
        QVERIFY(trace.contains("\n  OpenDevice: calls 1, errors 0, total "));
        QVERIFY(trace.contains("\n  IdReadCard: calls 2, errors 0, total "));
        QVERIFY(trace.contains("\n  all: calls " + QByteArray::number(calls) + ", errors "));
    }

    // Each row runs the operation once bound to the fake and once through the
    // tracer in front of the same fake: the fake must receive the same
    // arguments, the window must show the same, and the trace line of the
    // operation must read as given.
    void traceHoldsTheCallAndChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<qint64>("result");
        QTest::addColumn<QList<QByteArray>>("buffers");
        QTest::addColumn<QList<qint64>>("counts");
        QTest::addColumn<QString>("traced");
        using B = QList<QByteArray>;
        using C = QList<qint64>;

        QTest::newRow("texts in, handle out")
            << QByteArray("action") << QByteArray("OpenDevice") << qint64(7) << B{} << C{}
            << "OpenDevice(portType=\"COM/dev/ttyS3\", portPara=\"115200\", extendPara=\"\"); "
               "result 7";
        QTest::newRow("numbers in, GB18030 record out")
            << QByteArray("pushButton") << QByteArray("IdReadCard") << qint64(0)
            << B{QByteArray("\xD5\xC5\xC8\xFD:\"A\\\n")} << C{}
            << "IdReadCard(port=0, mode=1, record[10240], flags=0) -> "
               "record=\"\\xD5\\xC5\\xC8\\xFD:\\x22A\\x5C\\x0A\"; result 0";
        QTest::newRow("text full, no zero byte")
            << QByteArray("pushButton_21") << QByteArray("QrRead") << qint64(0)
            << B{QByteArray(600, 'Q')} << C{}
            << "QrRead(content[512], timeout=10) -> content=\"" + QString(512, 'Q')
                   + "\" (no zero byte in 512); result 0";
        QTest::newRow("two UTF-8 outputs")
            << QByteArray("pushButton_24") << QByteArray("TerminalGetFirmVersion") << qint64(0)
            << B{"固件 1.0", "HW-2"} << C{}
            << "TerminalGetFirmVersion(firmware[256], hardware[256]) -> firmware=\"固件 1.0\", "
               "hardware=\"HW-2\"; result 0";
        QTest::newRow("bytes in by contract")
            << QByteArray("pushButton_13") << QByteArray("M1Authentication") << qint64(-54) << B{}
            << C{}
            << "M1Authentication(keyType=65, sector=0, key[6]=3C7E19B4D2A6, uid[4]=00000000); "
               "result -54";
        QTest::newRow("count beyond the buffer")
            << QByteArray("pushButton_3") << QByteArray("IdReadSn") << qint64(0)
            << B{QByteArray(16, '\xab')} << C{100000}
            << "IdReadSn(serial[16]) -> serial[16 of 100000]=" + QString("AB").repeated(16)
                   + ", length=100000; result 0";
        QTest::newRow("negative count")
            << QByteArray("pushButton_14") << QByteArray("M1ReadBlock") << qint64(0)
            << B{QByteArray(32, '\x01')} << C{-1}
            << "M1ReadBlock(block=2, data[32]) -> data[0 of -1]=, dataLength=-1; result 0";
    }

    void traceHoldsTheCallAndChangesNothing()
    {
        QFETCH(QByteArray, control);
        QFETCH(QByteArray, entry);
        QFETCH(qint64, result);
        QFETCH(QList<QByteArray>, buffers);
        QFETCH(QList<qint64>, counts);
        QFETCH(QString, traced);

        bindLoadedLibrary();
        fakedevice::script(entry, fakedevice::Reply{result, buffers, counts});
        const QStringList direct = clickInNewWindow(control);
        const QList<fakedevice::Call> directCalls = fakedevice::calls();

        fakedevice::reset();
        fakedevice::script(entry, fakedevice::Reply{result, buffers, counts});
        QByteArray path = tracerPath.toUtf8();
        QVERIFY(LoadCommonInterface(path.data()));
        const qint64 traceStart = QFileInfo(m_log).size();
        const QStringList throughTracer = clickInNewWindow(control);
        const QList<fakedevice::Call> tracedCallsOfFake = fakedevice::calls();
        bindLoadedLibrary();

        QCOMPARE(throughTracer, direct);
        QCOMPARE(tracedCallsOfFake.size(), directCalls.size());
        QStringList fakeNames;
        for (int i = 0; i < directCalls.size(); ++i) {
            QCOMPARE(tracedCallsOfFake[i].name, directCalls[i].name);
            QCOMPARE(tracedCallsOfFake[i].args, directCalls[i].args);
            fakeNames << QString::fromLatin1(directCalls[i].name);
        }
        const QStringList lines = tracedCalls(readFile(m_log).mid(traceStart));
        QCOMPARE(entryNames(lines), fakeNames);
        QCOMPARE(lines.value(fakeNames.indexOf(QString::fromLatin1(entry))), traced);
    }

    // A library that cannot be used: every call answers the documented code,
    // nothing crashes, and one message says why.
    void unusableLibraryAnswersTheDocumentedCode_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("codes");
        QTest::addColumn<QString>("message");
        const QString unavailable = "-9901 -9901 -9901";
        QTest::newRow("unset") << QStringList{} << unavailable << "READER_SPY_LIBRARY is not set";
        QTest::newRow("relative") << QStringList{"READER_SPY_LIBRARY=libCommonInterface.so"}
                                  << unavailable << "READER_SPY_LIBRARY is not an absolute path";
        QTest::newRow("no such file") << QStringList{"READER_SPY_LIBRARY=/nonexistent/libX.so"}
                                      << unavailable << "cannot open READER_SPY_LIBRARY";
        QTest::newRow("the tracer itself")
            << QStringList{"READER_SPY_LIBRARY=" + tracerPath} << unavailable
            << "READER_SPY_LIBRARY is the tracing library itself";
        QTest::newRow("exports nothing")
            << QStringList{"READER_SPY_LIBRARY=" + qEnvironmentVariable("EMPTY_DEVICE_PATH")}
            << "-9902 -9902 -9902"
            << "not exported by the real library";
    }

    void unusableLibraryAnswersTheDocumentedCode()
    {
        QFETCH(QStringList, environment);
        QFETCH(QString, codes);
        QFETCH(QString, message);
        const Child child = runChild({"--three-calls", tracerPath}, environment);
        QCOMPARE(child.status, 0);
        QCOMPARE(QString::fromLatin1(child.out), codes);
        QCOMPARE(QString::fromUtf8(child.err).count(message), codes.startsWith("-9901") ? 1 : 3);
        QVERIFY(child.err.contains("\n  all: calls 3, errors 3, total 0 us"));
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (const int status = runChildMode(app.arguments()); status >= 0)
        return status;
    TestTracer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tracer.moc"

// Reading a trace back: what the round trips through the window do not reach
// (escapes, null buffers, calls not forwarded), lines refused with where they
// go wrong, and a whole trace pulled through the
// streaming reader.
#include "traceformat.h"

#include <QtTest>

#include <cstring>

namespace {

const QByteArray stamp = "2026-12-08T14:05:07.384753Z ";

// A parsed call in one line: the inputs as written, each output, the end.
QString describe(const trace::Call &call)
{
    QStringList outputs;
    for (const trace::Output &out : call.outputs) {
        QString text = out.null ? QStringLiteral("null")
                                : QString::fromLatin1(QByteArray::fromStdString(out.bytes).toHex());
        if (out.kind == trace::Param::OutCount)
            text = QString::number(out.count);
        else if (!out.null)
            text += QStringLiteral(" in %1").arg(out.size);
        if (out.kind == trace::Param::OutBytes && !out.null)
            text += QStringLiteral(" count %1").arg(out.count);
        if (!out.terminated)
            text += QStringLiteral(" unterminated");
        outputs << text;
    }
    return QString::fromStdString(call.inputs) + " | " + outputs.join(", ")
           + QStringLiteral(" | %1 in %2 us%3")
                 .arg(call.result)
                 .arg(call.microseconds)
                 .arg(call.forwarded == trace::Forwarded::Yes ? "" : " not forwarded");
}

} // namespace

class TestTraceFormat : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryKindOfArgument_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("parsed");
        QTest::newRow("texts in")
            << "OpenDevice(portType=\"A\\x22\\x5C\", portPara=null, "
               "extendPara=\"\xE5\xBC\xA0\"); result 7; 24 us"
            << "portType=\"A\\x22\\x5C\", portPara=null, extendPara=\"\xE5\xBC\xA0\" |  "
               "| 7 in 24 us";
        QTest::newRow("null output buffer")
            << "TerminalGetModel(model=null) -> model=null; result 0; 1 us"
            << "model=null | null | 0 in 1 us";
        QTest::newRow("not forwarded")
            << "TerminalGetModel(model[256]) not exported by the real library; result -9902; 0 us"
            << "model[256] |  | -9902 in 0 us not forwarded";
    }

    void readsEveryKindOfArgument()
    {
        QFETCH(QString, line);
        QFETCH(QString, parsed);
        const trace::Line read =
            trace::parseLine((stamp + line.toUtf8()).toStdString(), trace::LineKind::Call);
        QVERIFY2(read.kind == trace::LineKind::Call, read.error.c_str());
        QCOMPARE(describe(read.call), parsed);
    }

    // The line after the time, and where it is refused.
    void refusesMalformedLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown entry point") << "ReadEverything(); result 0; 1 us"
                                             << "not a call of an entry point";
        QTest::newRow("argument missing") << "IdReadSn() -> serial[0]=, length=0; result 0; 1 us"
                                          << "expected the argument serial at column 38";
        QTest::newRow("count shown beyond the buffer")
            << "IdReadSn(serial[2]) -> serial[3]=ABCDEF, length=3; result 0; 1 us"
            << "malformed output serial at column 52";
        QTest::newRow("count not as returned")
            << "IdReadSn(serial[2]) -> serial[2 of 9]=ABCD, length=8; result 0; 1 us"
            << "malformed output length";
        QTest::newRow("text longer than its buffer")
            << "QrRead(content[2], timeout=1) -> content=\"QQQ\"; result 0; 1 us"
            << "malformed output content";
        QTest::newRow("no zero byte in another size")
            << "QrRead(content[4], timeout=1) -> content=\"QQQQ\" (no zero byte in 5); result 0; 1 "
               "us"
            << "malformed output content";
        QTest::newRow("escape not upper-case hexadecimal")
            << "OpenDevice(portType=\"\\xcb\", portPara=\"\", extendPara=\"\"); result 1; 1 us"
            << "malformed argument portType";
        QTest::newRow("control character in a text")
            << "OpenDevice(portType=\"\t\", portPara=\"\", extendPara=\"\"); result 1; 1 us"
            << "malformed argument portType";
        QTest::newRow("number with a leading zero") << "CpuPowerOff(slot=01); result 0; 1 us"
                                                    << "malformed argument slot";
        QTest::newRow("number beyond 64 bits")
            << "CpuPowerOff(slot=0); result 9223372036854775808; 1 us"
            << "expected '; result R";
        QTest::newRow("outputs missing") << "TerminalGetModel(model[256]); result 0; 1 us"
                                         << "expected the outputs";
        QTest::newRow("something after the end") << "TerminalHeartBeat(); result 0; 1 us; 2 us"
                                                 << "expected '; result R; D us'";
    }

    void refusesMalformedLines()
    {
        QFETCH(QString, line);
        QFETCH(QString, error);
        const trace::Line read =
            trace::parseLine((stamp + line.toUtf8()).toStdString(), trace::LineKind::Call);
        QCOMPARE(read.kind, trace::LineKind::Malformed);
        QVERIFY2(QString::fromStdString(read.error).contains(error), read.error.c_str());
    }

    // A whole trace through the reader, fed a few bytes at a time: the calls
    // it gives, then how it ends.
    void readsATraceLineByLine_data()
    {
        QTest::addColumn<QByteArray>("trace");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("end");
        const QByteArray header = "reader-trace 1\n";
        const QByteArray beat = stamp + "TerminalHeartBeat(); result 0; 1 us\n";
        const QByteArray note = stamp + "reader-spy: READER_SPY_LIBRARY is not set\n";
        const QByteArray summary = stamp + "summary\n  all: calls 1, errors 0, total 1 us\n";
        QTest::newRow("notes, summaries and a second session")
            << header + note + beat + summary + "reader-trace 1 redacted\n" + beat + summary
            << "3 plain, 7 redacted"
            << "";
        QTest::newRow("last line without a line feed") << header + beat.chopped(1) << "2 plain"
                                                       << "";
        QTest::newRow("empty") << QByteArray() << ""
                               << "the trace is empty";
        QTest::newRow("another version later")
            << header + beat + "reader-trace 3 zstd\n" + beat << "2 plain"
            << "line 3: a trace of reader-trace version 3";
        QTest::newRow("indented line outside a summary")
            << header + "  all: calls 1\n"
            << ""
            << "line 2: an indented line outside a summary";
        QTest::newRow("line too long")
            << header + beat + QByteArray(trace::Reader::maxLineLength + 1, 'x') + "\n" + beat
            << "2 plain"
            << "line 3: longer than 1048576 bytes";
        QTest::newRow("blank line") << header + "\n" + beat << ""
                                    << "line 2: does not start with a time";
    }

    void readsATraceLineByLine()
    {
        QFETCH(QByteArray, trace);
        QFETCH(QString, calls);
        QFETCH(QString, end);
        int at = 0;
        trace::Reader reader([&trace, &at](char *buffer, std::size_t size) {
            const auto n =
                std::min<std::size_t>({size, 7, static_cast<std::size_t>(trace.size() - at)});
            std::memcpy(buffer, trace.constData() + at, n);
            at += static_cast<int>(n);
            return n;
        });
        QStringList read;
        trace::Call call;
        trace::Reader::Next next;
        while ((next = reader.next(call)) == trace::Reader::Next::Call)
            read << QStringLiteral("%1 %2").arg(call.line).arg(call.redacted ? "redacted"
                                                                             : "plain");
        QCOMPARE(read.join(", "), calls);
        QCOMPARE(next == trace::Reader::Next::Error, !end.isEmpty());
        QVERIFY2(QString::fromStdString(reader.error()).startsWith(end), reader.error().c_str());
        QCOMPARE(reader.next(call), next);
    }
};

QTEST_GUILESS_MAIN(TestTraceFormat)
#include "tst_traceformat.moc"

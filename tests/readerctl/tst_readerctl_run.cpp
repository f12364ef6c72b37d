// readerctl run and loop through the real program on the simulated reader:
// fault scenarios with exact result counts and verdicts, counts and passes,
// on_fail = "stop", prompts, interruption and a call that never returns
// (in a loop and alone).
#include "readerctltest.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>

using namespace readerctltest;

namespace {

const QByteArray faultPlan = R"(
[[step]]
name = "identity"
op = "identity"
repeat = 3
expect.max_ms = 500

[[step]]
name = "connection"
op = "heartbeat"
repeat = 2
)";

// "code:count,..." of a step's results.
QString results(const QJsonObject &step)
{
    QStringList out;
    const QJsonObject results = step["results"].toObject();
    for (auto it = results.begin(); it != results.end(); ++it)
        out << QStringLiteral("%1:%2").arg(it.key()).arg(it.value().toInt());
    return out.join(',');
}

QJsonObject step(const QJsonObject &report, int index)
{
    return report["steps"].toArray().at(index).toObject();
}

} // namespace

class ReaderctlRun : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void faultScenarios_data()
    {
        QTest::addColumn<QString>("extended");
        QTest::addColumn<QString>("identity");
        QTest::addColumn<QString>("identityVerdict");
        QTest::addColumn<int>("firstFailure");
        QTest::addColumn<QString>("failureStatus");
        QTest::addColumn<QString>("connection");
        QTest::addColumn<QString>("connectionVerdict");
        QTest::addColumn<int>("status");
        QTest::newRow("healthy") << "" << "0:3" << "pass" << 0 << "" << "0:2" << "pass" << 0;
        QTest::newRow("nocard") << "nocard" << "-20:3" << "fail" << 1 << "读取证件信息失败，错误代码：-20" << "0:2"
                                << "pass" << 1;
        QTest::newRow("removed") << "removed" << "-23:2,0:1" << "fail" << 2 << "读取证件信息失败，错误代码：-23"
                                 << "0:2" << "pass" << 1;
        // Three operations answered, then the reader is gone.
        QTest::newRow("unplug") << "unplug" << "0:3" << "pass" << 0 << "" << "-4:2" << "fail" << 1;
        // Every read succeeds, in a second each: over the step's 500 ms.
        QTest::newRow("slow") << "slow" << "0:3" << "fail" << 1 << "读取证件信息成功" << "0:2" << "pass" << 1;
    }
    void faultScenarios()
    {
        QFETCH(QString, extended);
        QFETCH(QString, identity);
        QFETCH(QString, identityVerdict);
        QFETCH(int, firstFailure);
        QFETCH(QString, failureStatus);
        QFETCH(QString, connection);
        QFETCH(QString, connectionVerdict);
        QFETCH(int, status);
        const QString plan = write(m_dir, "faults.toml", faultPlan);
        const QString json = m_dir.filePath("faults.json");
        const Run run = readerctl({"run", plan, "--extended", extended, "--json", json});
        QCOMPARE(run.status, status);
        const QJsonObject report = readerctltest::json(json);
        QCOMPARE(report["exit_status"].toInt(), status);
        QCOMPARE(report["connection"].toObject()["extended"].toString(), extended);
        QCOMPARE(results(step(report, 0)), identity);
        QCOMPARE(step(report, 0)["verdict"].toString(), identityVerdict);
        QCOMPARE(step(report, 0)["first_failure"].toObject()["index"].toInt(), firstFailure);
        QCOMPARE(step(report, 0)["first_failure"].toObject()["status"].toString(), failureStatus);
        QCOMPARE(results(step(report, 1)), connection);
        QCOMPARE(step(report, 1)["verdict"].toString(), connectionVerdict);
        // The text report: one line per step, then the totals.
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].startsWith("identity    " + identityVerdict), qPrintable(lines[0]));
        QVERIFY(lines[2].endsWith(QStringLiteral("exit status %1").arg(status)));
    }

    void counts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("calls");
        QTest::newRow("loop --count") << QStringList{"loop", "heartbeat", "--count", "25"} << 25;
        QTest::newRow("run --repeat") << QStringList{"run", "PLAN", "--repeat", "3"} << 6;
        QTest::newRow("stop after a failure") << QStringList{"run", "STOP"} << 1;
    }
    void counts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, calls);
        arguments.replaceInStrings("PLAN", write(m_dir, "plan.toml", "[[step]]\nname = \"a\"\nop = \"heartbeat\"\nrepeat = 2\n"));
        arguments.replaceInStrings("STOP", write(m_dir, "stop.toml", R"(
[[step]]
name = "no card"
op = "identity"
on_fail = "stop"
[[step]]
name = "never"
op = "heartbeat"
)"));
        const QString json = m_dir.filePath("counts.json");
        const Run run = readerctl(arguments + QStringList{"--json", json, "--extended", "nocard"});
        const QJsonObject report = readerctltest::json(json);
        QCOMPARE(report["totals"].toObject()["calls"].toInt(), calls);
        if (arguments.contains("--count") || arguments.contains("--repeat")) {
            QCOMPARE(run.status, 0);
        } else {
            QCOMPARE(run.status, 1);
            QCOMPARE(step(report, 1)["verdict"].toString(), "skipped");
            QCOMPARE(step(report, 1)["calls"].toInt(), 0);
        }
    }

    // The README's plan passes on the simulated reader.
    void examplePlan()
    {
        const QString plan = QFileInfo(qEnvironmentVariable("READERCTL_SCHEMA")).dir().filePath("examples/delivery.toml");
        const Run run = readerctl({"run", plan, "--no-prompt"});
        QVERIFY2(run.status == 0, qPrintable(run.out));
        QVERIFY(run.out.contains("total: 9 steps, 9 passed, 0 failed, 0 hung, 0 skipped; 176 calls, 176 successes; "));
    }

    void prompts()
    {
        const QString plan = write(m_dir, "prompt.toml", R"(
[[step]]
name = "card"
op = "heartbeat"
prompt = "Put the card on the reader, then press Enter"
)");
        // No terminal: refused before the library is even loaded.
        Run run = readerctl({"--library", "/nonexistent/lib.so", "run", plan});
        QCOMPARE(run.status, 2);
        QVERIFY(run.err.contains("--no-prompt"));
        run = readerctl({"run", plan, "--no-prompt"});
        QCOMPARE(run.status, 0);
        QVERIFY(!run.err.contains("press Enter"));

        // On a terminal it waits for Enter.
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start("script", {"-qec", QStringLiteral("'%1' run '%2'").arg(qEnvironmentVariable("READERCTL"), plan),
                                 "/dev/null"});
        QVERIFY(process.waitForStarted());
        QByteArray screen;
        QTRY_VERIFY_WITH_TIMEOUT((screen += process.readAllStandardOutput()).contains("press Enter"), 10000);
        QTest::qWait(500);
        QCOMPARE(process.state(), QProcess::Running);
        process.write("\n");
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
    }

    void interruption_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }
    void interruption()
    {
        QFETCH(int, signal);
        const QString json = m_dir.filePath("interrupted.json");
        QFile::remove(json);
        QProcess process;
        start(process, {"loop", "heartbeat", "--duration", "60s", "--extended", "slow", "--json", json});
        QTest::qWait(800);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        const Run run = finish(process, 5000);
        QCOMPARE(run.status, 5);
        const QJsonObject report = readerctltest::json(json);
        QCOMPARE(report["exit_status"].toInt(), 5);
        QVERIFY(report["interrupted"].toBool());
        QVERIFY(step(report, 0)["calls"].toInt() >= 1);
        QCOMPARE(step(report, 0)["verdict"].toString(), "pass");
    }

    void hungCall()
    {
        const QString json = m_dir.filePath("hung.json");
        const QString junit = m_dir.filePath("hung.xml");
        QProcess process;
        start(process, {"--library", qEnvironmentVariable("SLEEPY_LIBRARY"), "loop", "heartbeat", "--count", "3",
                        "--timeout", "0.5", "--json", json, "--junit", junit});
        const Run run = finish(process, 10000);
        QCOMPARE(run.status, 1);
        const QJsonObject report = readerctltest::json(json);
        QCOMPARE(report["exit_status"].toInt(), 1);
        QCOMPARE(step(report, 0)["verdict"].toString(), "hung");
        QCOMPARE(results(step(report, 0)), "hung:1");
        QCOMPARE(step(report, 0)["first_failure"].toObject()["status"].toString(), "no answer within 0.5 s");
        QVERIFY(run.out.contains("hung"));
        QVERIFY(QFile::exists(junit));
    }

    // A duration beyond what the clock holds is refused, not looped for ever.
    void endlessDuration()
    {
        QProcess process;
        start(process, {"loop", "heartbeat", "--duration", "2000000000h"});
        QCOMPARE(finish(process, 5000).status, 2);
    }

    // A single call is watched by a timer: what it prints for the hung call
    // is made before the call.
    void hungSingleCall_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("text") << QStringList{};
        QTest::newRow("json") << QStringList{"--json"};
    }
    void hungSingleCall()
    {
        QFETCH(QStringList, options);
        QProcess process;
        start(process, QStringList{"--library", qEnvironmentVariable("SLEEPY_LIBRARY"), "call", "heartbeat",
                                   "--timeout", "0.5"} + options);
        const Run run = finish(process, 10000);
        QCOMPARE(run.status, 1);
        if (options.isEmpty()) {
            QCOMPARE(run.out, QStringLiteral("no answer within 0.5 s\n"));
            return;
        }
        const QJsonObject report = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(report["exit_status"].toInt(), 1);
        QCOMPARE(step(report, 0)["verdict"].toString(), "hung");
        QCOMPARE(results(step(report, 0)), "hung:1");
    }
};

QTEST_GUILESS_MAIN(ReaderctlRun)
#include "tst_readerctl_run.moc"

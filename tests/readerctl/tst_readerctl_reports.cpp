// readerctl's reports: JSON against its documented schema, JUnit against a
// JUnit XML schema, HTML parsed; personal data masked in all of them unless
// asked for in full.
#include "readerctltest.h"

#include <QJsonArray>

using namespace readerctltest;

namespace {

const QByteArray plan = R"plan(
[[step]]
name = "read"
op = "identity"
repeat = 4
expect.fields = { id_number = "990102198806140024", name = { regex = "^.{2,4}$" } }

[[step]]
name = "beat"
op = "heartbeat"
repeat = 5

[[step]]
name = "stop here"
op = "identity"
expect.result = -1
on_fail = "stop"

[[step]]
name = "after"
op = "heartbeat"
)plan";

// Runs a checker program: whether it succeeded, and its standard output.
bool check(const QString &program, const QStringList &arguments, QString *out = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (!ok)
        qWarning("%s: %s", qPrintable(program), process.readAllStandardError().constData());
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    return ok;
}

bool validJson(const QString &path)
{
    const QString script = QStringLiteral(
        "import json, sys, jsonschema\n"
        "jsonschema.validate(json.load(open(sys.argv[2])), json.load(open(sys.argv[1])))\n"
        );
    return check("python3", {"-c", script, qEnvironmentVariable("READERCTL_SCHEMA"), path});
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace

class ReaderctlReports : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void reports_data()
    {
        QTest::addColumn<bool>("full");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("actual");
        QTest::newRow("masked") << false << "= 990102********0024" << "990102********0023";
        QTest::newRow("in full") << true << "= 990102198806140024" << "990102198806140023";
    }
    void reports()
    {
        QFETCH(bool, full);
        QFETCH(QString, expected);
        QFETCH(QString, actual);
        const QString json = m_dir.filePath("r.json"), junit = m_dir.filePath("r.xml"), html = m_dir.filePath("r.html");
        QStringList arguments{"run", write(m_dir, "r.toml", plan), "--json", json, "--junit", junit, "--html", html};
        if (full)
            arguments << "--show-personal-data";
        const Run run = readerctl(arguments);
        QCOMPARE(run.status, 1);

        QVERIFY(validJson(json));
        const QJsonArray steps = readerctltest::json(json)["steps"].toArray();
        QStringList verdicts;
        for (const QJsonValue step : steps)
            verdicts << step["verdict"].toString();
        QCOMPARE(verdicts.join(' '), "fail pass fail skipped");
        const QJsonObject idNumber = steps[0]["expectations"].toArray()[1].toObject();
        QCOMPARE(idNumber["name"].toString(), "fields.id_number");
        QCOMPARE(idNumber["expected"].toString(), expected);
        QCOMPARE(idNumber["actual"].toString(), actual);
        QCOMPARE(idNumber["missed_calls"].toInt(), 4);
        QCOMPARE(steps[0]["expectations"].toArray()[2].toObject()["outcome"].toString(), "pass");

        QVERIFY(check("xmllint", {"--noout", "--schema", qEnvironmentVariable("READERCTL_SOURCE") + "/junit.xsd", junit}));
        const QByteArray xml = contents(junit);
        QVERIFY(xml.contains("<testsuite name=\"r\" tests=\"4\" failures=\"2\" errors=\"0\" skipped=\"1\""));
        QVERIFY(xml.contains("message=\"fields.id_number: expected " + expected.toUtf8() + ", got " + actual.toUtf8()));

        QString parsed;
        QVERIFY(check("python3", {qEnvironmentVariable("READERCTL_SOURCE") + "/checkhtml.py", html}, &parsed));
        const QJsonObject page = QJsonDocument::fromJson(parsed.toUtf8()).object();
        QVERIFY(page["external"].toArray().isEmpty());
        // Two charts (latency, result codes) for each repeated step.
        QCOMPARE(page["charts"].toInt(), 4);
        QVERIFY(page["text"].toString().contains("fields.id_number: expected " + expected));
        QVERIFY(check("xmllint", {"--html", "--noout", html}));

        // Nothing of the person in full anywhere unless asked for.
        for (const QString &path : {json, junit, html})
            QCOMPARE(contents(path).contains("990102198806140023"), full);
    }

    // call and loop write the same shape with one step.
    void oneStep_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("loop") << QStringList{"loop", "identity", "--count", "3", "--json", "FILE"};
        QTest::newRow("loop, not opened") << QStringList{"loop", "heartbeat", "--count", "3", "--extended", "bogus",
                                                         "--json", "FILE"};
        QTest::newRow("call") << QStringList{"call", "identity", "--json"};
    }
    void oneStep()
    {
        QFETCH(QStringList, arguments);
        const QString json = m_dir.filePath("one.json");
        QFile::remove(json);
        const Run run = readerctl(arguments.replaceInStrings("FILE", json));
        if (!QFile::exists(json))
            write(m_dir, "one.json", run.out.toUtf8());
        QVERIFY(validJson(json));
        QCOMPARE(readerctltest::json(json)["exit_status"].toInt(), run.status);
        QCOMPARE(readerctltest::json(json)["steps"].toArray().size(), 1);
    }
};

QTEST_GUILESS_MAIN(ReaderctlReports)
#include "tst_readerctl_reports.moc"

// Test plans: what a plan says, and every kind of mistake in one, each
// reported as FILE:LINE:COLUMN before anything is called.
#include "plan.h"

#include <QTest>

using readerctl::Plan;
using readerctl::Step;

class ReaderctlPlan : public QObject
{
    Q_OBJECT
private slots:
    void readsEverything()
    {
        const QByteArray text = R"(
[connection]
port_type = "USB"
extended = "slow"

[[step]]
name = "identity card"
op = "identity"
prompt = "Put the card on the reader。「確認」"
# 注释。
repeat = 200
expect.result = -20
expect.fields = { id_number = "990102198806140023", name = { regex = "^苏" } }
expect.max_ms = 1500
expect.min_success_percent = 99.5
on_fail = "stop"
timeout_s = 2.5

[[step]]
name = "still there"
op = "heartbeat"
expect.result = "nonzero"
)";
        Plan plan;
        QCOMPARE(readerctl::parsePlan("p.toml", text, plan), QStringList());
        QCOMPARE(plan.connection, (calls::Arguments{{"port_type", "USB"}, {"extended", "slow"}}));
        QCOMPARE(plan.steps.size(), std::size_t(2));
        const Step &first = plan.steps[0];
        QCOMPARE(first.definition, calls::find("identity"));
        QCOMPARE(first.repeat, 200);
        QCOMPARE(first.result, Step::Result::Code);
        QCOMPARE(first.code, -20);
        QCOMPARE(first.fields.size(), std::size_t(2));
        QVERIFY(first.fields[0].matches("990102198806140023"));
        QVERIFY(!first.fields[0].matches("990102198806140024"));
        QVERIFY(first.fields[1].matches("苏丽"));
        QVERIFY(!first.fields[1].matches("李苏"));
        // Reports show what was expected masked, unless asked for in full.
        QCOMPARE(first.fields[0].describe(false), "= 990102********0023");
        QCOMPARE(first.fields[0].describe(true), "= 990102198806140023");
        QCOMPARE(*first.maxMs, 1500.0);
        QCOMPARE(first.minSuccessPercent, 99.5);
        QVERIFY(first.stopOnFail);
        QCOMPARE(first.timeoutSeconds, 2.5);
        QCOMPARE(first.prompt, "Put the card on the reader。「確認」");
        QCOMPARE(plan.steps[1].result, Step::Result::Nonzero);
        QCOMPARE(plan.steps[1].repeat, 1);
        QCOMPARE(plan.steps[1].minSuccessPercent, 100.0);
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        const QByteArray step = "[[step]]\nname = \"a\"\nop = \"identity\"\n";
        QTest::newRow("syntax") << QByteArray("[[step]\nname = \"a\"\n") << "p.toml:1:8: ";
        QTest::newRow("unknown table") << QByteArray("colour = 1\n") << "p.toml:1:1: unknown key colour";
        QTest::newRow("no steps") << QByteArray("[connection]\n") << "p.toml:1:1: the plan has no [[step]]";
        QTest::newRow("connection key") << QByteArray("[connection]\nbaud = \"9600\"\n")
                                        << "p.toml:2:1: unknown key connection.baud";
        QTest::newRow("connection type") << QByteArray("[connection]\nport_param = 9600\n")
                                         << "p.toml:2:14: connection.port_param must be a string, not an integer";
        QTest::newRow("step key") << step + "repaet = 2\n" << "p.toml:4:1: unknown key repaet in a step";
        QTest::newRow("no op") << QByteArray("[[step]]\nname = \"a\"\n") << "p.toml:1:1: step has no op";
        QTest::newRow("no name") << QByteArray("[[step]]\nop = \"identity\"\n") << "p.toml:1:1: step has no name";
        QTest::newRow("unknown op") << QByteArray("[[step]]\nname = \"a\"\nop = \"identiti\"\n")
                                    << "p.toml:3:6: unknown operation identiti";
        QTest::newRow("unknown input") << step + "args = { sector = 1 }\n"
                                       << "p.toml:4:10: operation identity has no input sector";
        QTest::newRow("unknown output") << step + "expect.fields = { id_numbr = \"1\" }\n"
                                        << "p.toml:4:19: operation identity has no output id_numbr";
        QTest::newRow("repeat type") << step + "repeat = \"200\"\n"
                                     << "p.toml:4:10: repeat must be a number, not a string";
        QTest::newRow("repeat fraction") << step + "repeat = 2.5\n"
                                         << "p.toml:4:10: repeat must be an integer, not a number";
        QTest::newRow("repeat zero") << step + "repeat = 0\n" << "p.toml:4:10: repeat must be between 1 and 1e+12";
        QTest::newRow("result word") << step + "expect.result = \"zero\"\n"
                                     << "p.toml:4:17: expect.result must be an integer or \"nonzero\"";
        QTest::newRow("percent range") << step + "expect.min_success_percent = 120\n"
                                       << "p.toml:4:30: expect.min_success_percent must be between 0 and 100";
        QTest::newRow("expect key") << step + "expect.maxms = 3\n" << "p.toml:4:8: unknown key expect.maxms";
        QTest::newRow("regex") << step + "expect.fields = { name = { regex = \"(\" } }\n"
                               << "p.toml:4:36: bad regular expression: missing closing parenthesis";
        QTest::newRow("field form") << step + "expect.fields = { name = { rx = \"a\" } }\n"
                                    << "p.toml:4:26: expect.fields.name must be a string or { regex = \"...\" }";
        QTest::newRow("on_fail") << step + "on_fail = \"halt\"\n"
                                 << "p.toml:4:11: on_fail must be \"continue\" or \"stop\"";
        QTest::newRow("timeout") << step + "timeout_s = -1\n"
                                 << "p.toml:4:13: timeout_s must be between 0.001 and 86400";
        QTest::newRow("duplicate name") << step + step << "p.toml:5:8: duplicate step name \"a\"";
        QTest::newRow("character between tokens") << step + "x = 1 。\n"
                                                  << "p.toml:4:7: Error while parsing key-value pair: expected a comment or whitespace, saw '。'";
        QTest::newRow("steps not tables") << QByteArray("step = [1]\n") << "p.toml:1:9: step must be a table, not an integer";
    }
    void errors()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        Plan plan;
        const QStringList errors = readerctl::parsePlan("p.toml", text, plan);
        QVERIFY2(!errors.isEmpty() && errors.first().startsWith(error), qPrintable(errors.join('\n')));
        QVERIFY(plan.steps.empty());
    }
};

QTEST_APPLESS_MAIN(ReaderctlPlan)
#include "tst_readerctl_plan.moc"

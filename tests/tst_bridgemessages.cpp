// The bridge's messages: what a page may ask, in exactly which form, and the
// operations' inputs each accepted message becomes.
#include "messages.h"

#include <QtTest>

using namespace bridge;

class BridgeMessages : public QObject
{
    Q_OBJECT

private slots:
    void messagesBecomeInputsOrOneError_data();
    void messagesBecomeInputsOrOneError();
    void everyVerbRunsOperationsThatExist();
};

void BridgeMessages::messagesBecomeInputsOrOneError_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("code");       // 0: accepted
    QTest::addColumn<QString>("inputs"); // accepted: "name=value;..." in input order
    QTest::newRow("no params") << QByteArray(R"({"id":1,"method":"identity.read"})") << 0
                               << QString();
    QTest::newRow("string id") << QByteArray(R"({"id":"a","method":"reader.close","params":{}})")
                               << 0 << QString();
    QTest::newRow("m1 read") << QByteArray(
        R"({"id":1,"method":"m1.read","params":{"sector":1,"block":4,"key":"ffffffffffff"}})")
                             << 0 << QString("block=4;key=FFFFFFFFFFFF;sector=1");
    QTest::newRow("open with scenario")
        << QByteArray(R"({"id":1,"method":"reader.open","params":{"extended":"removed"}})") << 0
        << QString("extended=removed");
    QTest::newRow("letters") << QByteArray(
        R"({"id":1,"method":"bank.info","params":{"letters":"ABC"}})")
                             << 0 << QString("letters=ABC");
    QTest::newRow("broken JSON") << QByteArray(R"({"id":1,"method":)") << int(ParseError)
                                 << QString();
    QTest::newRow("array") << QByteArray(R"([1,2])") << int(ParseError) << QString();
    QTest::newRow("no id") << QByteArray(R"({"method":"identity.read"})") << int(InvalidRequest)
                           << QString();
    QTest::newRow("fraction id") << QByteArray(R"({"id":1.5,"method":"identity.read"})")
                                 << int(InvalidRequest) << QString();
    QTest::newRow("object id") << QByteArray(R"({"id":{},"method":"identity.read"})")
                               << int(InvalidRequest) << QString();
    QTest::newRow("unknown member")
        << QByteArray(R"({"id":1,"method":"identity.read","jsonrpc":"2.0"})") << int(InvalidRequest)
        << QString();
    QTest::newRow("method not text")
        << QByteArray(R"({"id":1,"method":7})") << int(InvalidRequest) << QString();
    QTest::newRow("unknown method")
        << QByteArray(R"({"id":1,"method":"IdReadCard"})") << int(UnknownMethod) << QString();
    QTest::newRow("m1 write is no verb")
        << QByteArray(R"({"id":1,"method":"m1.write"})") << int(UnknownMethod) << QString();
    QTest::newRow("params array") << QByteArray(R"({"id":1,"method":"identity.read","params":[]})")
                                  << int(InvalidParams) << QString();
    QTest::newRow("unknown param")
        << QByteArray(R"({"id":1,"method":"identity.read","params":{"full":true}})")
        << int(InvalidParams) << QString();
    QTest::newRow("missing param")
        << QByteArray(R"({"id":1,"method":"m1.read","params":{"sector":1,"block":4}})")
        << int(InvalidParams) << QString();
    QTest::newRow("byte as text") << QByteArray(
        R"({"id":1,"method":"qr.read","params":{"timeout":"10"}})")
                                  << int(InvalidParams) << QString();
    QTest::newRow("byte too large")
        << QByteArray(R"({"id":1,"method":"qr.read","params":{"timeout":256}})")
        << int(InvalidParams) << QString();
    QTest::newRow("odd hex") << QByteArray(
        R"({"id":1,"method":"cpu.apdu","params":{"apdu":"00A"}})")
                             << int(InvalidParams) << QString();
    QTest::newRow("key type C") << QByteArray(
        R"({"id":1,"method":"m1.read","params":{"sector":1,"block":4,"key":"FF","key_type":"C"}})")
                                << int(InvalidParams) << QString();
    QTest::newRow("letters lower")
        << QByteArray(R"({"id":1,"method":"bank.info","params":{"letters":"abc"}})")
        << int(InvalidParams) << QString();
    QTest::newRow("control character") << QByteArray(
        "{\"id\":1,\"method\":\"reader.open\",\"params\":{\"port_type\":\"a\\u0000b\"}}")
                                       << int(InvalidParams) << QString();
    QByteArray large = R"({"id":1,"method":"reader.open","params":{"port_paramm":")"
                       + QByteArray(maxMessageSize, 'x') + "\"}}";
    QTest::newRow("over 64 KiB") << large << int(InvalidRequest) << QString();
}

void BridgeMessages::messagesBecomeInputsOrOneError()
{
    QFETCH(QByteArray, message);
    QFETCH(int, code);
    QFETCH(QString, inputs);
    const Request request = parseRequest(message);
    QCOMPARE(request.errorCode, code);
    QCOMPARE(request.verb != nullptr, code == 0);
    QStringList found;
    for (auto it = request.arguments.begin(); it != request.arguments.end(); ++it)
        found << it.key() + QLatin1Char('=') + it.value();
    QCOMPARE(found.join(QLatin1Char(';')), inputs);
}

void BridgeMessages::everyVerbRunsOperationsThatExist()
{
    // A verb must never name an operation or input the shared operations do
    // not have: its request would be accepted and then do nothing.
    for (const Verb &verb : verbs()) {
        for (const char *name : verb.calls)
            QVERIFY2(calls::find(QString::fromLatin1(name)) || verb.grant == ReaderGrant, name);
        for (const Param &param : verb.params) {
            bool found = false;
            for (const char *name : verb.calls)
                if (const calls::Definition *definition = calls::find(QString::fromLatin1(name)))
                    for (const calls::Input &input : definition->inputs)
                        found = found || QLatin1String(input.name) == QLatin1String(param.input);
            QVERIFY2(found, qPrintable(QStringLiteral("%1 %2").arg(verb.method, param.name)));
        }
    }
}

QTEST_GUILESS_MAIN(BridgeMessages)
#include "tst_bridgemessages.moc"
